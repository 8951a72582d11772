#include "tools/dvrsim/StreamConfig.h"

#include <cerrno>
#include <cstdlib>

namespace {

bool ToNumber(const std::string& s, int64_t low, int64_t high, int64_t& out) {
    if (s.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(s.c_str(), &end, 10);
    if (*end != '\0' || errno != 0 || v < low || v > high) {
        return false;
    }
    out = v;
    return true;
}

const struct {
    const char* name;
    StreamFault::Kind kind;
} kFaultNames[] = {
    {"close-mid-frame", StreamFault::Kind::CloseMidFrame},
    {"bad-type", StreamFault::Kind::BadType},
    {"oversize", StreamFault::Kind::Oversize},
    {"stall", StreamFault::Kind::Stall},
    {"unknown-info", StreamFault::Kind::UnknownInfo},
    {"garbage", StreamFault::Kind::Garbage},
    {"blackhole", StreamFault::Kind::Blackhole},
};

std::optional<StreamFault::Kind> FaultKind(const std::string& name) {
    for (const auto& f : kFaultNames) {
        if (name == f.name) {
            return f.kind;
        }
    }
    return std::nullopt;
}

bool ParseGeometry(const std::string& v, StreamConfig& c) {
    std::size_t colon = v.find(':');
    int64_t standard = 0;
    int64_t size = 0;
    if (colon == std::string::npos || !ToNumber(v.substr(0, colon), 0, 1, standard) ||
        !ToNumber(v.substr(colon + 1), 0, 2, size)) {
        return false;
    }
    c.videoStandard = static_cast<int8_t>(standard);
    c.imageSize = static_cast<int8_t>(size);
    return true;
}

bool ParseFault(const std::string& v, StreamConfig& c) {
    std::size_t colon = v.rfind(':');
    if (colon == std::string::npos) {
        return false;
    }
    std::string name = v.substr(0, colon);
    const std::string once = "-once";
    const bool firstOnly = name.size() > once.size() &&
                           name.compare(name.size() - once.size(), once.size(), once) == 0;
    if (firstOnly) {
        name.resize(name.size() - once.size());
    }
    std::optional<StreamFault::Kind> kind = FaultKind(name);
    int64_t after = 0;
    if (!kind || !ToNumber(v.substr(colon + 1), 0, INT64_MAX, after)) {
        return false;
    }
    c.fault = StreamFault{*kind, after, firstOnly};
    return true;
}

}  // namespace

const char* FaultName(StreamFault::Kind kind) {
    for (const auto& f : kFaultNames) {
        if (kind == f.kind) {
            return f.name;
        }
    }
    return "?";
}

StreamOption ParseStreamOption(const std::string& arg, const char* value, StreamConfig& config,
                               std::string& error) {
    // A rejected value leaves the config half-set; the caller drops it with the error.
    const std::string v = value ? value : "";
    int64_t n = 0;
    bool ok = false;
    const char* usage = nullptr;
    if (arg == "--geometry") {
        ok = ParseGeometry(v, config);
        config.geometryGiven = true;
        usage = "--geometry takes STD:SIZE, STD 0 or 1, SIZE 0, 1 or 2";
    } else if (arg == "--gop") {
        ok = ToNumber(v, 1, 1000, n);
        config.gop = static_cast<int>(n);
        usage = "--gop takes a number from 1 to 1000";
    } else if (arg == "--bundle") {
        ok = ToNumber(v, 2, 1024, n);
        config.bundle = static_cast<int>(n);
        usage = "--bundle takes a number from 2 to 1024";
    } else if (arg == "--audio") {
        ok = ToNumber(v, 1, 1000000, n);
        config.audioEvery = static_cast<int>(n);
        usage = "--audio takes a positive number";
    } else if (arg == "--record") {
        ok = !v.empty();
        config.recordDir = v;
        usage = "--record takes a folder";
    } else if (arg == "--fps") {
        ok = ToNumber(v, 1, 250, n);
        config.fps = static_cast<int>(n);
        usage = "--fps takes a number from 1 to 250";
    } else if (arg == "--h264") {
        ok = !v.empty();
        config.h264Path = v;
        usage = "--h264 takes an H.264 Annex B file";
    } else if (arg == "--trickle") {
        char* end = nullptr;
        const long n = std::strtol(v.c_str(), &end, 10);
        ok = !v.empty() && *end == '\0' && n > 0 && n <= 1000000;
        config.trickleMicros = static_cast<int>(n);
        usage = "--trickle takes microseconds between bytes (1 to 1000000)";
    } else if (arg == "--fault") {
        ok = ParseFault(v, config);
        usage =
            "--fault takes KIND:K or KIND-once:K, KIND one of close-mid-frame, bad-type, "
            "oversize, stall, unknown-info, garbage, blackhole";
    } else {
        return StreamOption::NotMine;
    }
    if (!ok) {
        error = usage;
        return StreamOption::Bad;
    }
    return StreamOption::Parsed;
}
