#include "tools/probe/ProbeOptions.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

const char* const kProbeUsage =
    "usage: quillmarsh-probe [--seconds N] [--cam MASK] [--fps-index I] [--quality-index Q]\n"
    "                        [--dump DIR] SERVER USER PASSWORD\n";

namespace {

// A whole number, decimal or 0x-hexadecimal, within [lo, hi].
bool ParseNumber(const std::string& s, long long lo, long long hi, long long& out) {
    if (s.empty() || s[0] == '-' || s[0] == '+') {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    long long v = std::strtoll(hex ? s.c_str() + 2 : s.c_str(), &end, hex ? 16 : 10);
    if (errno != 0 || *end != '\0' || end == (hex ? s.c_str() + 2 : s.c_str()) || v < lo ||
        v > hi) {
        return false;
    }
    out = v;
    return true;
}

}  // namespace

std::optional<ProbeOptions> ParseProbeOptions(int argc, char** argv, std::string& error) {
    ProbeOptions o;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.size() > 2 && arg.rfind("--", 0) == 0) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return std::nullopt;
            }
            const std::string v = argv[++i];
            long long n = 0;
            if (arg == "--seconds" && ParseNumber(v, 0, 86400, n)) {
                o.seconds = static_cast<int>(n);
            } else if (arg == "--cam" && ParseNumber(v, 0, 0xFFFFFFFFLL, n)) {
                o.cam = static_cast<uint32_t>(n);
            } else if (arg == "--fps-index" && ParseNumber(v, 0, 0x7FFFFFFF, n)) {
                o.fpsIndex = static_cast<int32_t>(n);
            } else if (arg == "--quality-index" && ParseNumber(v, 0, 0x7FFFFFFF, n)) {
                o.qualityIndex = static_cast<int32_t>(n);
            } else if (arg == "--dump") {
                o.dumpDir = v;
            } else {
                error = "bad option " + arg + " " + v;
                return std::nullopt;
            }
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 3) {
        error = "expected SERVER USER PASSWORD";
        return std::nullopt;
    }
    o.server = positional[0];
    o.user = positional[1];
    o.password = positional[2];
    return o;
}
