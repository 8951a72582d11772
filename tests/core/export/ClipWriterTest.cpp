// ClipWriter on its own: where each picture lands in time (read back with the Debian ffprobe),
// and a fragmented clip whose writer dies by SIGKILL.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <thread>

#include "core/export/ClipWriter.h"
#include "tests/support/H264Clip.h"
#include "tests/support/SimProcess.h"

namespace {

using namespace std::chrono_literals;

// A 352x288 picture of the played second `second`, as the intake leaves its header.
NET_FRAME_HEADER Picture(const AccessUnit& unit, int64_t second) {
    NET_FRAME_HEADER h{};
    h.dataLen = static_cast<uint32_t>(unit.size());
    h.timeSec = static_cast<uint32_t>(second);
    h.type = 'V';
    h.imageSize = 2;
    return h;
}

// The presentation times of a file's pictures in milliseconds, in file order.
std::vector<long> PictureTimes(const std::string& path) {
    const std::string out = RunProcess({"/usr/bin/ffprobe", "-v", "error", "-select_streams", "v:0",
                                        "-show_entries", "packet=pts_time", "-of", "csv=p=0", path},
                                       30s)
                                .out;
    std::vector<long> times;
    std::istringstream lines(out);
    for (double t = 0; lines >> t;) {
        times.push_back(std::lround(t * 1000));
    }
    return times;
}

TEST(ClipWriter, SpreadsThePicturesOfEachRecordedSecondEvenly) {
    // Every picture a key frame: where a clip starts is not what this looks at.
    const std::vector<AccessUnit> clip = EncodeClip(352, 288, 6, 1);
    const struct {
        const char* what;
        std::vector<int64_t> seconds;  // of the pictures in the order they come
        std::vector<long> times;       // expected, in ms from the clip's first second
    } cases[] = {
        {"four in a second", {100, 100, 100, 100, 101}, {0, 250, 500, 750, 1000}},
        {"one in a second", {100, 101, 101, 102}, {0, 1000, 1500, 2000}},
        {"a jump in seconds", {100, 100, 103, 107}, {0, 500, 3000, 7000}},
        {"an older picture stays in the held second",
         {100, 101, 99, 101, 102},
         {0, 1000, 1333, 1667, 2000}},
        {"outside the range: before it, and after its end", {98, 100, 100, 110, 100}, {0, 500}},
    };
    TempDir tmp;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = tmp.File(std::string(c.what) + ".mp4");
        ClipWriter writer(path, ClipWriter::Mode::Whole, 99, 110);
        for (std::size_t i = 0; i < c.seconds.size(); ++i) {
            const AccessUnit& unit = clip[i];
            ASSERT_TRUE(writer.Add(Picture(unit, c.seconds[i]), unit.data()));
        }
        ASSERT_EQ(writer.Finish(), ClipWriter::Result::Written) << writer.error();
        EXPECT_EQ(writer.pictures(), static_cast<int64_t>(c.times.size()));
        EXPECT_EQ(PictureTimes(path), c.times);
        EXPECT_FALSE(std::filesystem::exists(path + ".part"));
    }
}

TEST(ClipWriter, FragmentedClipOfAKilledWriterStillPlays) {
    const std::vector<AccessUnit> clip = EncodeClip(352, 288, 50, 25);
    TempDir tmp;
    const std::string path = tmp.File("live.mp4");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A live recording's pace: 25 pictures a second, a key frame each second, never finished.
        ClipWriter writer(path, ClipWriter::Mode::Fragmented, 0, INT64_MAX);
        for (int64_t n = 0;; ++n) {
            const AccessUnit& unit = clip[static_cast<std::size_t>(n % 50)];
            if (!writer.Add(Picture(unit, 1000 + n / 25), unit.data())) {
                ::_exit(1);
            }
            std::this_thread::sleep_for(40ms);
        }
    }
    std::this_thread::sleep_for(20s);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended by itself: " << status;
    const std::vector<long> times = PictureTimes(path);
    ASSERT_FALSE(times.empty());
    EXPECT_GE(times.back(), 15000);
    EXPECT_EQ(
        RunProcess({"/usr/bin/ffmpeg", "-v", "error", "-i", path, "-f", "null", "-"}, 60s, true)
            .out,
        "");
}

}  // namespace
