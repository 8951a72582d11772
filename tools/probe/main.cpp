// quillmarsh-probe: connects to one DVR through the client's own connection code and prints the
// login outcome with the texts the operator would see. Only the result lines go to standard
// output; diagnostics go to standard error and the system log.
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>

#include "app/ViewController.h"
#include "tools/probe/ProbeOptions.h"

namespace {

// Captures the first message box instead of showing it.
class ProbeUi : public UiPort {
  public:
    void messageBox(const std::optional<std::string>&, const std::string& text) override {
        std::lock_guard<std::mutex> g(lock_);
        if (!message_) {
            message_ = text;
        }
    }
    void setNodeTitle(int, const std::string&) override {}
    void reloadTree() override {}
    void openPlayback(int, const std::string&, int) override {}

    std::optional<std::string> message() {
        std::lock_guard<std::mutex> g(lock_);
        return message_;
    }

  private:
    std::mutex lock_;
    std::optional<std::string> message_;
};

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    std::optional<ProbeOptions> options = ParseProbeOptions(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "quillmarsh-probe: %s\n%s", error.c_str(), kProbeUsage);
        return 2;
    }
    ProbeUi ui;
    auto controller = std::make_unique<ViewController>(ui);
    constexpr int dvr = 0;
    SAVE_INFO_STRUCT entry =
        NewSaveInfo(options->server, options->user, options->password, "probe");
    entry.cam = options->cam;
    entry.frame_rate = options->fpsIndex;
    entry.qulity = options->qualityIndex;
    {
        std::lock_guard<std::mutex> g(controller->userinfoLock);
        controller->Userinfo[dvr] = entry;
        controller->usercount.store(1);
    }
    NetCtrl_Struct& block = controller->NetCtrl[dvr];
    block.NetID.store(dvr);
    const int32_t result = controller->ConnectAndReport(block, dvr);

    if (block.NetWorking.load() == 1) {
        std::printf("connected user-mode=%d channels=%d\n", block.iUsermode.load(),
                    block.iDvrChannel.load() % 100);
        std::fflush(stdout);
        std::this_thread::sleep_for(std::chrono::seconds(options->seconds));
        return 0;
    }
    std::optional<std::string> message = ui.message();
    if (result == -6) {
        std::printf("no ':' in server text\n");
    } else if (message) {
        std::printf("%s\n", message->c_str());
    } else {
        std::printf("failed\n");
    }
    return 1;
}
