// Pipeline benchmark, run by hand under a display (or xvfb-run): the simulated DVR streams 16
// channels of 704x576 H.264 into the client's window (1280x900), which decodes, converts and
// presents them in a 16-pane grid. Two stream sets, each measured the same way: the simulator's
// own test pattern, and a noisy libx264 stream of about 1.5 Mb/s made here with the ffmpeg CLI, as
// a camera would send it. For each it prints the client's CPU time per presented frame, the share
// of the offered frames it presented and the latency from the last byte of a frame to its
// presentation; then a wall of 16 mpv windows playing what each channel received, where the
// client's panes were (when mpv is installed): the two take turns, three each, and the figures
// are over all turns; then the Debian ffmpeg CLI decoding those streams single-threaded, in full
// and without the deblocking filter.
//   xvfb-run -a -s '-screen 0 1920x1080x24' build/bench/quillmarsh-bench-pipeline [SECONDS [FPS]]
// FPS (default 25) is the rate every channel is offered at.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/MpvWall.h"
#include "core/ViewController.h"
#include "core/directory/UserListFile.h"
#include "gui/main/MainWindow.h"
#include "gui/main/VideoView.h"
#include "gui/tree/DvrTreeModel.h"
#include "gui/tree/OutlineViewCon.h"

namespace {

constexpr int kChannels = 16;
constexpr int kCameraSeconds = 10;  // length of the camera-like stream, looped by the simulator

void Run(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// What the simulator streams on every channel.
struct StreamSet {
    std::string name;
    std::vector<std::string> simArgs;
    double wallTarget;  // the client's CPU per frame against the mpv wall's, at most
};

std::optional<StreamSet> MakeCameraSet(const std::string& file) {
    const double megabits = bench::MakeCameraStream(file, kCameraSeconds);
    if (megabits <= 0) {
        return std::nullopt;
    }
    char name[96];
    std::snprintf(name, sizeof name, "camera-like (libx264, noise, %.2f Mb/s%s)", megabits,
                  megabits < 1.2 || megabits > 1.9 ? ", NOT about 1.5" : "");
    return StreamSet{name, {"--h264", file}, 0.5};
}

struct ClientFigures {
    double cpuSeconds = 0;
    uint64_t presented = 0;
    double offered = 0;
    uint64_t decoded = 0;        // pictures the intake decoded and queued
    uint64_t dropped = 0;        // frames the intake dropped (a full queue, a broken sequence)
    std::vector<int> latencies;  // microseconds
    std::vector<bench::ScreenRect> panes;  // where the grid's panes were on the screen
    std::map<std::string, double> byRole;  // CPU seconds by thread role (bench::ThreadCpuByRole)
};

// The grid's first 16 panes on the screen.
std::vector<bench::ScreenRect> PaneRects(ViewController& vc, const QWidget& surface) {
    const SCREEN_SHOW_CTRL layout = vc.layout().LayoutCopy();
    const QPoint origin = surface.mapToGlobal(QPoint(0, 0));
    std::vector<bench::ScreenRect> rects;
    for (int i = 0; i < kChannels; ++i) {
        const PaneRect& r = layout.m_screenRect[i].FrameRect;
        // The surface counts from its bottom left, the screen from its top left.
        rects.push_back(bench::ScreenRect{
            origin.x() + static_cast<int>(std::lround(r.x)),
            origin.y() + surface.height() - static_cast<int>(std::lround(r.y + r.height)),
            static_cast<int>(std::lround(r.width)), static_cast<int>(std::lround(r.height))});
    }
    return rects;
}

// The window showing `set`, streamed by a simulator that records what it sends in dir/rec.
ClientFigures RunClient(const StreamSet& set, const std::string& dir, int port, int seconds,
                        int fps) {
    const std::string server = "127.0.0.1:" + std::to_string(port);
    std::vector<std::string> simArgs{QUILLMARSH_DVRSIM,   "--listen",        server,
                                     "--account",         "admin:1234:2:16", "--fps",
                                     std::to_string(fps), "--record",        dir + "/rec"};
    simArgs.insert(simArgs.end(), set.simArgs.begin(), set.simArgs.end());
    const pid_t sim = bench::Spawn(simArgs, dir + "/sim.out");
    auto image = std::make_unique<UserListImage>();
    std::memset(image.get(), 0, sizeof *image);
    image->entries[0] = NewSaveInfo(server, "admin", "1234", "bench");
    WriteUserList(std::string(std::getenv("HOME")) + "/userinfo/info.uss", *image);
    Run(1000);

    ClientFigures f;
    {
        MainWindow window;
        ViewController vc(window.uiPort());
        window.Start(vc);
        window.resize(1280, 900);
        window.show();
        Run(500);
        window.outlineView()->setCurrentIndex(window.treeModel()->index(0, 0));
        vc.ConnectDVR();
        Run(500);
        vc.doSomethingForButton(kChannels);
        Run(3000);  // the simulator encodes its loops on first use
        f.panes = PaneRects(vc, *window.videoView());
        window.videoView()->TakeLatencies();
        const NetCtrl_Struct& b = vc.GetNetCtrlStruct(0);
        const auto sum = [&](std::atomic<uint32_t> ChannelStats::*counter) {
            uint64_t n = 0;
            for (const ChannelStats& c : b.stats) {
                n += (c.*counter).load();
            }
            return n;
        };
        const uint64_t sentBefore = sum(&ChannelStats::frames);
        const uint64_t decodedBefore = sum(&ChannelStats::decoded);
        const uint64_t droppedBefore = sum(&ChannelStats::dropped);
        const uint64_t before = window.videoView()->presented();
        const std::map<std::string, double> rolesBefore = bench::ThreadCpuByRole();
        const double cpuBefore = bench::SelfCpuSeconds();
        QElapsedTimer elapsed;
        elapsed.start();
        Run(seconds * 1000);
        f.cpuSeconds = bench::SelfCpuSeconds() - cpuBefore;
        f.byRole = bench::ThreadCpuByRoleSince(rolesBefore);
        // What the DVR sent meanwhile: a simulator that falls behind its clock on a busy
        // machine offers less than its rate, and the client cannot show what never came.
        f.offered = static_cast<double>(sum(&ChannelStats::frames) - sentBefore);
        f.decoded = sum(&ChannelStats::decoded) - decodedBefore;
        f.dropped = sum(&ChannelStats::dropped) - droppedBefore;
        f.presented = window.videoView()->presented() - before;
        f.latencies = window.videoView()->TakeLatencies();
        window.Stop();
    }
    if (sim > 0) {
        kill(sim, SIGKILL);
        waitpid(sim, nullptr, 0);
    }
    return f;
}

// `from` appended to `to` (made anew when `first`): the ffmpeg reference decodes a channel's
// turns in one process, so that its start-up counts once.
void AppendFile(const std::string& from, const std::string& to, bool first) {
    std::ofstream out(
        to, first ? std::ios::binary | std::ios::trunc : std::ios::binary | std::ios::app);
    std::ifstream in(from, std::ios::binary);
    out << in.rdbuf();
}

double MsPerFrame(double cpuSeconds, double frames) {
    return frames > 0 ? cpuSeconds / frames * 1e3 : 0;
}

double Percent(double part, double whole) {
    return whole > 0 ? part / whole * 100 : 0;
}

// Client and wall take turns, this many times each, a turn measuring SECONDS / kRounds: a shared
// machine's speed drifts over minutes, and so both sides meet the same drift.
constexpr int kRounds = 3;

// One stream set: the client and the mpv wall on what the client received, in turns, then the
// ffmpeg reference.
void MeasureSet(const StreamSet& set, const std::string& dir, int port, int seconds, int fps,
                bool wall) {
    const int turn = std::max(1, (seconds + kRounds - 1) / kRounds);
    std::printf("== %s: %d channels of 704x576 at %d fps, %d s measured in %d turns each\n",
                set.name.c_str(), kChannels, fps, turn * kRounds, kRounds);
    std::fflush(stdout);
    ClientFigures client;
    bench::WallFigures mpv;
    std::vector<double> roundRatios;
    std::vector<std::string> everything;  // each channel's turns end to end
    for (int ch = 0; ch < kChannels; ++ch) {
        everything.push_back(dir + "/all" + std::to_string(ch) + ".h264");
    }
    for (int round = 0; round < kRounds; ++round) {
        const std::string roundDir = dir + "/round" + std::to_string(round);
        std::filesystem::create_directories(roundDir);
        // A port each: the last simulator's connections may still hold its own.
        ClientFigures c = RunClient(set, roundDir, port + round, turn, fps);
        client.cpuSeconds += c.cpuSeconds;
        client.presented += c.presented;
        client.offered += c.offered;
        client.decoded += c.decoded;
        client.dropped += c.dropped;
        client.latencies.insert(client.latencies.end(), c.latencies.begin(), c.latencies.end());
        for (const auto& [role, cpu] : c.byRole) {
            client.byRole[role] += cpu;
        }
        const double clientMs = MsPerFrame(c.cpuSeconds, static_cast<double>(c.presented));
        std::vector<std::string> received;
        for (int ch = 0; ch < kChannels; ++ch) {
            received.push_back(roundDir + "/rec/ch" + std::to_string(ch) + ".h264");
            AppendFile(received.back(), everything[ch], round == 0);
        }
        if (!wall) {
            continue;
        }
        std::string error;
        const auto w = bench::RunMpvWall(received, c.panes, fps, turn, roundDir, error);
        if (!w) {
            std::printf("mpv wall: failed: %s\n", error.c_str());
            wall = false;
            continue;
        }
        mpv.cpuSeconds += w->cpuSeconds;
        mpv.shown += w->shown;
        mpv.dropped += w->dropped;
        mpv.offered += w->offered;
        mpv.endedEarly += w->endedEarly;
        const double mpvMs = MsPerFrame(w->cpuSeconds, w->shown);
        roundRatios.push_back(mpvMs > 0 ? clientMs / mpvMs : 0.0);
        std::printf("turn %d: quillmarsh %.2f ms, mpv wall %.2f ms CPU per frame, ratio %.2f\n",
                    round + 1, clientMs, mpvMs, roundRatios.back());
        std::fflush(stdout);
    }
    std::sort(client.latencies.begin(), client.latencies.end());
    const auto pct = [&](double p) {
        const auto& l = client.latencies;
        return l.empty() ? 0.0
                         : l[static_cast<std::size_t>(p * static_cast<double>(l.size() - 1))] / 1e3;
    };
    const double clientMs = MsPerFrame(client.cpuSeconds, static_cast<double>(client.presented));
    std::printf(
        "quillmarsh: %.2f ms CPU per presented frame; %llu of %.0f offered presented (%.1f %%); "
        "latency p50 %.1f ms, p95 %.1f ms (target p95 <= 50)\n",
        clientMs, static_cast<unsigned long long>(client.presented), client.offered,
        Percent(static_cast<double>(client.presented), client.offered), pct(0.5), pct(0.95));
    // Where the frames not presented went: dropped by the intake, or decoded and replaced by the
    // channel's next picture before a flush drew them.
    std::printf("            intake: %llu decoded, %llu dropped\n",
                static_cast<unsigned long long>(client.decoded),
                static_cast<unsigned long long>(client.dropped));
    if (const std::string roles = bench::RolesLine(client.byRole); !roles.empty()) {
        std::printf("            by thread: %s\n", roles.c_str());
    }
    if (wall) {
        const double mpvMs = MsPerFrame(mpv.cpuSeconds, mpv.shown);
        std::printf(
            "mpv wall:   %.2f ms CPU per shown frame; %.0f of %.0f offered shown (%.1f %%), %.0f "
            "dropped%s\n",
            mpvMs, mpv.shown, mpv.offered, Percent(mpv.shown, mpv.offered), mpv.dropped,
            mpv.endedEarly > 0 ? "; some ran out of stream early" : "");
        std::string turns;
        for (double r : roundRatios) {
            char one[16];
            std::snprintf(one, sizeof one, "%s%.2f", turns.empty() ? "" : ", ", r);
            turns += one;
        }
        std::printf("ratio quillmarsh/mpv CPU per frame: %.2f (target <= %.2g; turns %s)\n",
                    mpvMs > 0 ? clientMs / mpvMs : 0.0, set.wallTarget, turns.c_str());
    }
    std::fflush(stdout);
    const bench::Reference ref = bench::FfmpegDecode(everything, dir + "/count");
    const double refMs = MsPerFrame(ref.cpuSeconds, static_cast<double>(ref.frames));
    std::printf(
        "ffmpeg -threads 1: %.2f ms CPU per decoded frame (%llu frames); "
        "ratio quillmarsh/ffmpeg %.2f (a reference, not a target)\n",
        refMs, ref.frames, refMs > 0 ? clientMs / refMs : 0.0);
    // The floor of the client's decoding: every pane of the grid is shown at half its picture's
    // size or less, so it decodes without the deblocking filter.
    const bench::Reference bare = bench::FfmpegDecode(everything, dir + "/count", true);
    const double bareMs = MsPerFrame(bare.cpuSeconds, static_cast<double>(ref.frames));
    std::printf(
        "ffmpeg -threads 1 -skip_loop_filter all: %.2f ms CPU per decoded frame; quillmarsh spends "
        "%.2f ms a frame beyond it\n",
        bareMs, clientMs - bareMs);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const int fps = argc > 2 ? std::clamp(std::atoi(argv[2]), 1, 250) : 25;
    // A directory of its own: two runs at once must not remove each other's files.
    const std::string dir = std::filesystem::temp_directory_path() /
                            ("quillmarsh-bench-pipeline-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    bench::PrivateHome(dir);
    QApplication app(argc, argv);

    std::vector<StreamSet> sets{{"test pattern", {"--geometry", "0:0"}, 0.4}};
    if (std::optional<StreamSet> camera = MakeCameraSet(dir + "/camera.h264")) {
        sets.push_back(*camera);
    } else {
        std::printf("ffmpeg could not make the camera-like stream: that set is skipped\n");
    }
    const bool wall = ::access(bench::kMpv, X_OK) == 0;
    if (!wall) {
        std::printf("mpv not installed: the wall is skipped\n");
    }
    const int port = 20000 + getpid() % 20000;
    for (std::size_t i = 0; i < sets.size(); ++i) {
        MeasureSet(sets[i], dir + "/set" + std::to_string(i), port + static_cast<int>(i) * kRounds,
                   seconds, fps, wall);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
