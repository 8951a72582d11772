// Idle benchmark, run by hand: 64 connected DVRs that send nothing. Prints the client's CPU time
// as a share of one core over the measured wall time (target: at most 1%).
//   build/bench/quillmarsh-bench-idle [SECONDS]
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "bench/BenchSupport.h"
#include "core/ViewController.h"

namespace {

// A surface that draws nothing, so that the display threads run as in the window.
class NoSurface : public DisplayPort {
  public:
    PaneRect SurfaceBounds() override { return {0, 0, 1024, 768}; }
    void clearScreen(uint32_t) override {}
    void renderCurrentFrame(const PaneRect&, int, uint32_t) override {}
    void EnableLargeSplits(bool) override {}
    void MarkPane(int, const PaneRect&, const PaneMark&) override {}
};

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
    const std::string port = std::to_string(20000 + getpid() % 20000);
    const std::string server = "127.0.0.1:" + port;
    std::vector<std::string> simArgs{QUILLMARSH_DVRSIM, "--listen",    server, "--account",
                                     "admin:1234:1:16", "--max-users", "64",   "--fault",
                                     "stall:0"};
    std::vector<char*> args;
    for (auto& a : simArgs) {
        args.push_back(a.data());
    }
    args.push_back(nullptr);
    pid_t sim = -1;
    if (posix_spawn(&sim, args[0], nullptr, nullptr, args.data(), environ) != 0) {
        std::fprintf(stderr, "cannot start the simulator\n");
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));

    HeadlessUi ui(/*echoBoxes=*/true);
    NoSurface surface;
    auto vc = std::make_unique<ViewController>(ui);
    vc->SetDisplayPort(&surface);
    vc->layout().AVDataFrame.Allocate();
    vc->InitScreenCtrl(36, 36);
    for (int d = 0; d < kMaxDvrs; ++d) {
        vc->list().Store(d, NewSaveInfo(server, "admin", "1234", "idle"));
    }
    std::vector<std::thread> attempts;
    for (int d = 0; d < kMaxDvrs; ++d) {
        attempts.emplace_back([&vc, d] {
            vc->PrepareDvr(d);
            vc->ConnectAndReport(vc->GetNetCtrlStruct(d), d);
        });
    }
    for (auto& t : attempts) {
        t.join();
    }
    int connected = 0;
    for (int d = 0; d < kMaxDvrs; ++d) {
        connected += vc->GetNetCtrlStruct(d).NetWorking.load() == 1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const double cpuBefore = bench::SelfCpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double cpu = bench::SelfCpuSeconds() - cpuBefore;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    std::printf(
        "idle: %d DVRs connected, %.3f CPU s in %.1f s = %.2f%% of one core (target <= 1%%)\n",
        connected, cpu, wall, 100.0 * cpu / wall);
    vc.reset();
    kill(sim, SIGKILL);
    waitpid(sim, nullptr, 0);
    return 0;
}
