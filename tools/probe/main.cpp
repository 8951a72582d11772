// quillmarsh-probe: connects to one DVR through the client's own connection code and prints the
// login outcome with the texts the operator would see, then, with --seconds, receives for a
// while and prints per-channel statistics. Only the result lines go to standard output;
// diagnostics go to standard error and the system log.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

#include "core/ViewController.h"
#include "core/decode/SizeFrame.h"
#include "core/ports/HeadlessUi.h"
#include "tools/probe/ProbeOptions.h"

namespace {

// Writes a file whole; the reason it could not, or "".
std::string WriteFile(const std::string& path, const uint8_t* data, std::size_t n) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        return std::strerror(errno);
    }
    const bool written = std::fwrite(data, 1, n, f) == n;
    const int writeError = errno;
    if (std::fclose(f) != 0) {
        return std::strerror(errno);
    }
    return written ? std::string() : std::strerror(writeError);
}

// Takes pictures off the queue as a display would, for `seconds`; with a dump folder, writes the
// first picture of each channel there. False when a picture could not be written.
bool Drain(NetCtrl_Struct& block, int seconds, const std::string& dumpDir) {
    bool written = true;
    bool dumped[kMaxChannels] = {};
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
        NET_FRAME_HEADER h;
        const uint8_t* pixels = nullptr;
        if (!block.queue.PeekOldest(2, std::chrono::milliseconds(50), h, pixels)) {
            continue;
        }
        const auto g = SizeFrameGeometry(h.imageSize);
        if (!dumpDir.empty() && g && h.channel >= 0 && h.channel < kMaxChannels &&
            !dumped[h.channel]) {
            const std::string path = dumpDir + "/ch" + std::to_string(h.channel) + ".i420";
            dumped[h.channel] = true;
            if (const std::string why = WriteFile(path, pixels, g->I420Bytes()); !why.empty()) {
                std::fprintf(stderr, "quillmarsh-probe: cannot write %s: %s\n", path.c_str(),
                             why.c_str());
                written = false;
            }
        }
        block.queue.PopOldest();
    }
    return written;
}

void PrintStatistics(const NetCtrl_Struct& block) {
    for (int c = 0; c < kMaxChannels; ++c) {
        const ChannelStats& s = block.stats[c];
        if (s.frames.load() == 0) {
            continue;
        }
        const auto g = SizeFrameGeometry(s.sizeFrame.load());
        std::printf("channel %d frames %u decoded %u dropped %u size %dx%d\n", c, s.frames.load(),
                    s.decoded.load(), s.dropped.load(), g ? g->width : 0, g ? g->height : 0);
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    std::optional<ProbeOptions> options = ParseProbeOptions(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "quillmarsh-probe: %s\n%s", error.c_str(), kProbeUsage);
        return 2;
    }
    // The dump folder is made before anything else: a folder that cannot be made is known at once.
    if (!options->dumpDir.empty()) {
        std::error_code error;
        std::filesystem::create_directories(options->dumpDir, error);
        if (error) {
            std::fprintf(stderr, "quillmarsh-probe: cannot make %s: %s\n", options->dumpDir.c_str(),
                         error.message().c_str());
            return 3;
        }
    }
    HeadlessUi ui;
    auto controller = std::make_unique<ViewController>(ui);
    constexpr int dvr = 0;
    SAVE_INFO_STRUCT entry =
        NewSaveInfo(options->server, options->user, options->password, "probe");
    entry.cam = options->cam;
    entry.frame_rate = options->fpsIndex;
    entry.qulity = options->qualityIndex;
    controller->list().Store(dvr, entry);
    if (controller->PrepareDvr(dvr) != 1) {
        std::printf("failed\n");
        std::fprintf(stderr, "quillmarsh-probe: the decoders or buffers could not be created\n");
        return 1;
    }
    NetCtrl_Struct& block = controller->GetNetCtrlStruct(dvr);
    const status::Connect result = controller->ConnectAndReport(block, dvr);

    if (block.NetWorking.load() == 1) {
        std::printf("connected user-mode=%d channels=%d\n", block.iUsermode.load(),
                    block.iDvrChannel.load() % 100);
        std::fflush(stdout);
        if (options->seconds > 0) {
            const bool dumped = Drain(block, options->seconds, options->dumpDir);
            // Stop receiving first, so that no frame is half counted.
            controller->StopDvrThreads();
            PrintStatistics(block);
            if (!dumped) {
                return 3;
            }
        }
        return 0;
    }
    std::optional<std::string> message = ui.FirstMessage();
    if (result == status::Connect::NoColonInServer) {
        std::printf("no ':' in server text\n");
    } else if (message) {
        std::printf("%s\n", message->c_str());
    } else {
        std::printf("failed\n");
    }
    return 1;
}
