// Command line of quillmarsh-probe:
//   quillmarsh-probe [--seconds N] [--cam MASK] [--fps-index I] [--quality-index Q] [--dump DIR]
//                    SERVER USER PASSWORD
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct ProbeOptions {
    int seconds = 0;
    uint32_t cam = 0xFFFFFFFFu;
    int32_t fpsIndex = 5;
    int32_t qualityIndex = 2;
    std::string dumpDir;
    std::string server;
    std::string user;
    std::string password;
};

std::optional<ProbeOptions> ParseProbeOptions(int argc, char** argv, std::string& error);
extern const char* const kProbeUsage;
