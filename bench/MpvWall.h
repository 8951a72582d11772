// The pipeline benchmark's reference wall: one mpv process per stream, each in a window of its own
// where the client showed that channel's pane, playing in real time. CPU time and frame counts are
// taken over a window after a warm-up, as for the client, so that start-up is not counted.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace bench {

inline constexpr const char* kMpv = "/usr/bin/mpv";

// Screen pixels, origin at the top left.
struct ScreenRect {
    int x;
    int y;
    int width;
    int height;
};

struct WallFigures {
    double cpuSeconds = 0;  // all players, over the measured window
    double shown = 0;       // frames put on the screen in the window
    double dropped = 0;     // frames the players dropped in the window
    double offered = 0;     // frames real-time playback had to show in the window
    int endedEarly = 0;     // players that ran out of stream before the window closed
};

// Plays the H.264 elementary stream streams[i] at `fps` in a window at rects[i] for a warm-up and
// then `seconds` measured. Work files go into `scratch`. Nothing, with `error` set, when a stream
// cannot be prepared or a player does not come up.
std::optional<WallFigures> RunMpvWall(const std::vector<std::string>& streams,
                                      const std::vector<ScreenRect>& rects, int fps, int seconds,
                                      const std::string& scratch, std::string& error);

}  // namespace bench
