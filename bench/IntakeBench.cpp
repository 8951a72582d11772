// Intake benchmark, run by hand: one simulated DVR streams 32 channels of a camera-like D1
// stream (libx264 with sensor noise, about 1.5 Mb/s) over loopback, faster than one core can
// decode; the client receives, checks and decodes them. Prints the pictures the client decoded
// per second against what the Debian ffmpeg CLI decodes per CPU second of one thread on the
// same bitstream, measured in the same run: above 1 once a DVR's decoding spreads over cores.
//   build/bench/quillmarsh-bench-intake [SECONDS [FPS]]
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchSupport.h"
#include "core/ViewController.h"
#include "core/decode/DecodePool.h"

using bench::Spawn;

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const int fps = argc > 2 ? std::clamp(std::atoi(argv[2]), 1, 250) : 50;
    constexpr int kChannels = 32;
    const std::string dir = std::filesystem::temp_directory_path() / "quillmarsh-bench-intake";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir + "/rec");
    const std::string stream = dir + "/camera.h264";
    const double megabits = bench::MakeCameraStream(stream, 10);
    if (megabits <= 0) {
        std::fprintf(stderr, "ffmpeg could not make the camera-like stream\n");
        return 1;
    }
    const std::string server = "127.0.0.1:" + std::to_string(20000 + getpid() % 20000);
    pid_t sim =
        Spawn({QUILLMARSH_DVRSIM, "--listen", server, "--account", "admin:1234:2:32", "--geometry",
               "0:0", "--h264", stream, "--fps", std::to_string(fps), "--record", dir + "/rec"},
              dir + "/sim.out");
    if (sim < 0) {
        std::fprintf(stderr, "cannot start the simulator\n");
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));

    HeadlessUi ui(/*echoBoxes=*/true);
    uint64_t frames = 0;
    uint64_t sent = 0;
    double clientCpu = 0;
    double wall = 0;
    uint32_t fewest = UINT32_MAX;
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
        const auto count = [&](auto field) {
            uint64_t n = 0;
            for (int c = 0; c < kChannels; ++c) {
                n += (b.stats[c].*field).load();
            }
            return n;
        };
        std::vector<uint32_t> decodedBefore(kChannels);
        bool warm = false;
        uint64_t start = 0;
        uint64_t sentStart = 0;
        double cpuStart = 0;
        auto began = std::chrono::steady_clock::now();
        const auto warmUntil = began + std::chrono::seconds(2);
        const auto end = warmUntil + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < end) {
            if (!warm && std::chrono::steady_clock::now() >= warmUntil) {
                warm = true;
                began = std::chrono::steady_clock::now();
                start = count(&ChannelStats::decoded);
                sentStart = count(&ChannelStats::frames);
                cpuStart = bench::SelfCpuSeconds();
                for (int c = 0; c < kChannels; ++c) {
                    decodedBefore[c] = b.stats[c].decoded.load();
                }
            }
            NET_FRAME_HEADER h;
            const uint8_t* pixels;
            if (b.queue.PeekOldest(1, std::chrono::milliseconds(50), h, pixels)) {
                b.queue.PopOldest();
            }
        }
        wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        clientCpu = bench::SelfCpuSeconds() - cpuStart;
        frames = count(&ChannelStats::decoded) - start;
        sent = count(&ChannelStats::frames) - sentStart;
        for (int c = 0; c < kChannels; ++c) {
            fewest = std::min(fewest, b.stats[c].decoded.load() - decodedBefore[c]);
        }
        vc->Disconnect(b);
    }
    kill(sim, SIGKILL);
    waitpid(sim, nullptr, 0);

    // The reference: ffmpeg decoding what four channels were sent, one thread, output discarded.
    std::vector<std::string> streams;
    for (int ch = 0; ch < 4; ++ch) {
        streams.push_back(dir + "/rec/ch" + std::to_string(ch) + ".h264");
    }
    const bench::Reference ref = bench::FfmpegDecode(streams, dir + "/count");
    const double clientRate = frames / wall;
    const double refRate = ref.frames / ref.cpuSeconds;
    std::printf("stream: camera-like D1, %.2f Mb/s; %d channels at %d fps offered (%d a second)\n",
                megabits, kChannels, fps, kChannels * fps);
    std::printf(
        "client: %llu of %llu received pictures decoded in %.1f s = %.0f a second "
        "(%.2f cores busy, %d decode lanes); the slowest channel %.0f a second\n",
        static_cast<unsigned long long>(frames), static_cast<unsigned long long>(sent), wall,
        clientRate, clientCpu / wall, DecodePool::LanesForThisMachine(), fewest / wall);
    std::printf("ffmpeg -threads 1: %llu frames in %.2f CPU s = %.0f a CPU second\n", ref.frames,
                ref.cpuSeconds, refRate);
    std::printf("ratio client intake/ffmpeg one thread: %.2f (target >= 1.6 on 2 cores)\n",
                clientRate / refRate);
    std::filesystem::remove_all(dir);
    return 0;
}
