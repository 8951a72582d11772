// Pipeline benchmark, run by hand under a display (or xvfb-run): the simulated DVR streams 16
// channels of 704x576 H.264 at 25 fps into the client's window, which decodes, converts and
// presents them in a 16-pane grid. Prints the client's CPU time per frame against the Debian
// ffmpeg CLI decoding the same bitstream single-threaded in the same run, and the latency from
// the last byte of a frame to its presentation.
//   xvfb-run -a build/bench/quillmarsh-bench-pipeline [SECONDS]
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "core/ViewController.h"
#include "gui/main/MainWindow.h"

using bench::Spawn;
#include "core/directory/UserListFile.h"
#include "gui/main/VideoView.h"
#include "gui/tree/DvrTreeModel.h"
#include "gui/tree/OutlineViewCon.h"

namespace {

void Run(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const std::string dir = std::filesystem::temp_directory_path() / "quillmarsh-bench-pipeline";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir + "/home/userinfo");
    const std::string port = std::to_string(20000 + getpid() % 20000);
    pid_t sim = Spawn({QUILLMARSH_DVRSIM, "--listen", "127.0.0.1:" + port, "--account",
                       "admin:1234:2:16", "--geometry", "0:0", "--record", dir + "/rec"},
                      dir + "/sim.out");
    auto image = std::make_unique<UserListImage>();
    std::memset(image.get(), 0, sizeof *image);
    image->entries[0] = NewSaveInfo("127.0.0.1:" + port, "admin", "1234", "bench");
    WriteUserList(dir + "/home/userinfo/info.uss", *image);
    ::setenv("HOME", (dir + "/home").c_str(), 1);
    Run(1000);

    uint64_t frames = 0;
    double clientCpu = 0;
    std::vector<int> latencies;
    {
        MainWindow window;
        ViewController vc(window.uiPort());
        window.start(vc);
        window.resize(1280, 900);
        window.show();
        Run(500);
        window.outlineView()->setCurrentIndex(window.treeModel()->index(0, 0));
        vc.ConnectDVR();
        Run(500);
        vc.doSomethingForButton(16);
        Run(3000);  // the simulator encodes its loops on first use
        window.videoView()->takeLatencies();
        const uint64_t before = window.videoView()->presented();
        const double cpuBefore = bench::SelfCpuSeconds();
        Run(seconds * 1000);
        clientCpu = bench::SelfCpuSeconds() - cpuBefore;
        frames = window.videoView()->presented() - before;
        latencies = window.videoView()->takeLatencies();
        window.stop();
    }
    kill(sim, SIGKILL);
    waitpid(sim, nullptr, 0);

    std::vector<std::string> streams;
    for (int ch = 0; ch < 16; ++ch) {
        streams.push_back(dir + "/rec/ch" + std::to_string(ch) + ".h264");
    }
    const bench::Reference ref = bench::FfmpegDecode(streams, dir + "/count");
    const double refCpu = ref.cpuSeconds;
    const uint64_t refFrames = ref.frames;
    std::sort(latencies.begin(), latencies.end());
    const auto pct = [&](double p) {
        return latencies.empty() ? 0
                                 : latencies[static_cast<std::size_t>(p * (latencies.size() - 1))];
    };
    const double clientPerFrame = frames ? clientCpu / static_cast<double>(frames) : 0;
    const double refPerFrame = refFrames ? refCpu / static_cast<double>(refFrames) : 0;
    std::printf("client: %llu frames presented, %.2f CPU s, %.2f ms CPU per frame\n",
                static_cast<unsigned long long>(frames), clientCpu, clientPerFrame * 1e3);
    std::printf("ffmpeg -threads 1: %llu frames decoded, %.2f CPU s, %.2f ms CPU per frame\n",
                static_cast<unsigned long long>(refFrames), refCpu, refPerFrame * 1e3);
    std::printf("ratio client/ffmpeg CPU per frame: %.2f (target <= 1.25)\n",
                refPerFrame > 0 ? clientPerFrame / refPerFrame : 0.0);
    std::printf(
        "latency last byte -> presentation: p50 %.1f ms, p95 %.1f ms (target p95 <= 50 ms)\n",
        pct(0.5) / 1000.0, pct(0.95) / 1000.0);
    std::filesystem::remove_all(dir);
    return 0;
}
