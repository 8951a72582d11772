// quillmarsh-dvrsim: a simulated DVR and lookup server on loopback, for tests and the demo.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>
#include <thread>
#include <utility>

extern "C" {
#include <libavutil/log.h>
}

#include "tools/dvrsim/CommandLog.h"
#include "tools/dvrsim/DvrServer.h"
#include "tools/dvrsim/EncodedLoop.h"
#include "tools/dvrsim/H264Encoder.h"
#include "tools/dvrsim/H264File.h"
#include "tools/dvrsim/LookupServer.h"
#include "tools/dvrsim/SimConfig.h"

int main(int argc, char** argv) {
    std::string error;
    std::optional<SimConfig> config = ParseSimConfig(argc, argv, error);
    if (!config) {
        std::fprintf(stderr, "quillmarsh-dvrsim: %s\n%s", error.c_str(), kSimUsage);
        return 2;
    }
    // libx264 would print its banner and statistics for every camera loop.
    av_log_set_level(AV_LOG_ERROR);
    // Fail now rather than when the first client asks for video.
    StreamConfig& stream = config->stream;
    if (!stream.h264Path.empty()) {
        std::optional<H264File> file = LoadH264File(stream.h264Path, error);
        if (!file) {
            std::fprintf(stderr, "quillmarsh-dvrsim: --h264: %s\n", error.c_str());
            return 1;
        }
        if (stream.geometryGiven &&
            (stream.videoStandard != file->videoStandard || stream.imageSize != file->imageSize)) {
            std::fprintf(stderr, "quillmarsh-dvrsim: --geometry %d:%d is not the size of %s\n",
                         stream.videoStandard, stream.imageSize, stream.h264Path.c_str());
            return 1;
        }
        stream.videoStandard = file->videoStandard;
        stream.imageSize = file->imageSize;
        stream.h264Loop = std::make_shared<EncodedLoop>(std::move(file->pictures));
    } else if (config->listenHost && !H264Encoder::Available()) {
        std::fprintf(stderr, "quillmarsh-dvrsim: libavcodec has no libx264 encoder\n");
        return 1;
    }
    if (!config->stream.recordDir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(config->stream.recordDir, ec);
        if (ec) {
            std::fprintf(stderr, "quillmarsh-dvrsim: cannot create %s: %s\n",
                         config->stream.recordDir.c_str(), ec.message().c_str());
            return 1;
        }
    }
    CommandLog log(config->logPath);
    DvrServer dvr(*config, log);
    LookupServer lookup(*config, log);
    if (config->listenHost) {
        int port = dvr.Start();
        if (port < 0) {
            std::fprintf(stderr, "quillmarsh-dvrsim: cannot listen on %s:%d\n",
                         config->listenHost->c_str(), config->listenPort);
            return 1;
        }
        std::printf("listening %s:%d\n", config->listenHost->c_str(), port);
    }
    if (config->lookupHost) {
        int port = lookup.Start();
        if (port < 0) {
            std::fprintf(stderr, "quillmarsh-dvrsim: cannot listen on %s:%d\n",
                         config->lookupHost->c_str(), config->lookupPort);
            return 1;
        }
        std::printf("lookup %s:%d\n", config->lookupHost->c_str(), port);
    }
    std::printf("ready\n");
    std::fflush(stdout);
    // Serve until killed.
    for (;;) {
        std::this_thread::sleep_for(std::chrono::hours(1));
    }
}
