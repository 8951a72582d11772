// Intake benchmark, run by hand: the simulated DVR streams 16 channels of 704x576 H.264 over
// loopback; the client receives, checks and decodes them. The same bitstream is then decoded by
// the Debian ffmpeg CLI, single-threaded. Both are measured in CPU time per frame, and the ratio
// is printed.
//   build/bench/quillmarsh-bench-intake [SECONDS]
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchSupport.h"
#include "core/ViewController.h"

using bench::CpuSeconds;
using bench::Spawn;

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const std::string dir = std::filesystem::temp_directory_path() / "quillmarsh-bench-intake";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const int port = 20000 + getpid() % 20000;
    const std::string server = "127.0.0.1:" + std::to_string(port);
    pid_t sim = Spawn({QUILLMARSH_DVRSIM, "--listen", server, "--account", "admin:1234:2:16",
                       "--geometry", "0:0", "--record", dir},
                      dir + "/sim.out");
    if (sim < 0) {
        std::fprintf(stderr, "cannot start the simulator\n");
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));

    HeadlessUi ui(/*echoBoxes=*/true);
    uint64_t frames = 0;
    double clientCpu = 0;
    {
        auto vc = std::make_unique<ViewController>(ui);
        vc->list().Store(0, NewSaveInfo(server, "admin", "1234", "bench"));
        NetCtrl_Struct& b = vc->GetNetCtrlStruct(0);
        if (vc->PrepareDvr(0) != 1 || vc->ConnectAndReport(b, 0) != status::Connect::Done ||
            b.NetWorking.load() != 1) {
            std::fprintf(stderr, "cannot log in to the simulator\n");
            kill(sim, SIGKILL);
            return 1;
        }
        // Let the simulator's encoder caches fill before measuring.
        std::this_thread::sleep_for(std::chrono::seconds(3));
        auto decodedNow = [&] {
            uint64_t n = 0;
            for (auto& s : b.stats) {
                n += s.decoded.load();
            }
            return n;
        };
        rusage before;
        getrusage(RUSAGE_SELF, &before);
        const uint64_t start = decodedNow();
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < end) {
            NET_FRAME_HEADER h;
            const uint8_t* pixels;
            if (b.peekOldest(2, std::chrono::milliseconds(50), h, pixels)) {
                b.popOldest();
            }
        }
        rusage after;
        getrusage(RUSAGE_SELF, &after);
        frames = decodedNow() - start;
        clientCpu = CpuSeconds(after) - CpuSeconds(before);
        vc->Disconnect(b);
    }
    kill(sim, SIGKILL);
    waitpid(sim, nullptr, 0);

    // The reference: ffmpeg decoding every recorded channel, one thread, output discarded.
    std::vector<std::string> streams;
    for (int ch = 0; ch < 16; ++ch) {
        streams.push_back(dir + "/ch" + std::to_string(ch) + ".h264");
    }
    const bench::Reference ref = bench::FfmpegDecode(streams, dir + "/count");
    const double refCpu = ref.cpuSeconds;
    const unsigned long long refFrames = ref.frames;
    const double clientRate = frames / clientCpu;
    const double refRate = refFrames / refCpu;
    std::printf("client intake: %llu D1 frames in %.2f CPU s = %.0f frames per CPU second\n",
                static_cast<unsigned long long>(frames), clientCpu, clientRate);
    std::printf("ffmpeg -threads 1: %llu frames in %.2f CPU s = %.0f frames per CPU second\n",
                static_cast<unsigned long long>(refFrames), refCpu, refRate);
    std::printf("ratio client/ffmpeg: %.2f (target >= 0.90)\n", clientRate / refRate);
    std::filesystem::remove_all(dir);
    return 0;
}
