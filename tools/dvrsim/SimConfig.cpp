#include "tools/dvrsim/SimConfig.h"

#include <cstdlib>
#include <string_view>

const char* const kSimUsage =
    "usage: quillmarsh-dvrsim [--listen HOST:PORT] [--account USER:PASS[:MODE[:CHANNELS]]]...\n"
    "         [--max-users N] [--super-online] [--silent] [--close-on-login] [--stop-reading]\n"
    "         [--log FILE] [--lookup HOST[:PORT]] [--id "
    "ID=HOST:PORT|ID=offline|ID=fail|ID=garbage]...\n"
    "         [--lookup-silent] [--geometry STD:SIZE] [--gop N] [--bundle N] [--audio N]\n"
    "         [--record DIR] [--fault KIND:K] [--trickle MICROSECONDS] [--h264 FILE] [--fps N]\n"
    "         [--rec CHANNELS=RANGES]... [--rec-event CHANNELS=KINDS@RANGES]...\n"
    "         [--rec-days FROM:TO] [--rec-split SECONDS]\n"
    "         [--disks N] [--disk-start-zero] [--play-refuse REASON]\n"
    "         [--reply-delay MILLISECONDS] [--search-delay PAGE:MILLISECONDS]\n"
    "KIND is close-mid-frame, bad-type, oversize, stall, unknown-info or garbage.\n"
    "CHANNELS: channels from 0 joined by '+' (2+15); RANGES: HH:MM[:SS]-HH:MM[:SS] joined by\n"
    "',' (23:58-00:03 ends the next day, 24:00 is midnight), recorded on the days FROM to TO\n"
    "counted from today (default 0:0). --disks is 0 to 8 (default 1).\n"
    "--rec-event: the recorded files of CHANNELS overlapping RANGES carry the flags KINDS\n"
    "(motion, loss, sensor joined by '+') in the record list.\n"
    "--h264 FILE: every channel, live or played, replays the H.264 Annex B stream in FILE (at\n"
    "most 256 MiB, looped; its first picture carries SPS, PPS and an IDR slice) in place of its\n"
    "test pattern, and frame headers give the file's picture size.\n"
    "--fps N: live view at N (1 to 250) frames per second, whatever the client asks for.\n"
    "Prints 'listening HOST:PORT' and/or 'lookup HOST:PORT' once it accepts connections.\n";

namespace {

std::vector<std::string> Split(std::string_view s, char sep) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t at = s.find(sep, start);
        parts.emplace_back(s.substr(start, at == std::string_view::npos ? at : at - start));
        if (at == std::string_view::npos) {
            return parts;
        }
        start = at + 1;
    }
}

bool ToInt(const std::string& s, int32_t& out) {
    if (s.empty()) {
        return false;
    }
    char* end = nullptr;
    long v = std::strtol(s.c_str(), &end, 10);
    if (*end != '\0') {
        return false;
    }
    out = static_cast<int32_t>(v);
    return true;
}

// "HOST:PORT" with the port at the last colon.
bool HostPort(const std::string& s, std::string& host, int32_t& port) {
    std::size_t colon = s.rfind(':');
    if (colon == std::string::npos) {
        return false;
    }
    host = s.substr(0, colon);
    return ToInt(s.substr(colon + 1), port);
}

}  // namespace

std::optional<SimConfig> ParseSimConfig(int argc, char** argv, std::string& error) {
    SimConfig c;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return std::nullopt;
            }
            return std::string(argv[++i]);
        };
        if (arg == "--listen") {
            auto v = value();
            int32_t port = 0;
            std::string host;
            if (!v || !HostPort(*v, host, port)) {
                error = error.empty() ? "--listen takes HOST:PORT" : error;
                return std::nullopt;
            }
            c.listenHost = host;
            c.listenPort = port;
        } else if (arg == "--account") {
            auto v = value();
            if (!v) {
                return std::nullopt;
            }
            auto parts = Split(*v, ':');
            SimAccount a;
            if (parts.size() < 2 || parts.size() > 4 ||
                (parts.size() > 2 && !ToInt(parts[2], a.mode)) ||
                (parts.size() > 3 && !ToInt(parts[3], a.channels))) {
                error = "--account takes USER:PASS[:MODE[:CHANNELS]]";
                return std::nullopt;
            }
            a.user = parts[0];
            a.pass = parts[1];
            c.accounts.push_back(a);
        } else if (arg == "--max-users") {
            auto v = value();
            int32_t n = 0;
            if (!v || !ToInt(*v, n)) {
                error = "--max-users takes a number";
                return std::nullopt;
            }
            c.maxUsers = n;
        } else if (arg == "--super-online") {
            c.superOnline = true;
        } else if (arg == "--silent") {
            c.silent = true;
        } else if (arg == "--close-on-login") {
            c.closeOnLogin = true;
        } else if (arg == "--stop-reading") {
            c.stopReading = true;
        } else if (arg == "--log") {
            auto v = value();
            if (!v) {
                return std::nullopt;
            }
            c.logPath = *v;
        } else if (arg == "--lookup") {
            auto v = value();
            if (!v) {
                return std::nullopt;
            }
            std::string host;
            int32_t port = 0;
            if (HostPort(*v, host, port)) {
                c.lookupHost = host;
                c.lookupPort = port;
            } else {
                c.lookupHost = *v;
            }
        } else if (arg == "--id") {
            auto v = value();
            if (!v) {
                return std::nullopt;
            }
            std::size_t eq = v->find('=');
            if (eq == std::string::npos) {
                error = "--id takes ID=HOST:PORT, ID=offline, ID=fail or ID=garbage";
                return std::nullopt;
            }
            SimLookupEntry e;
            e.id = v->substr(0, eq);
            std::string what = v->substr(eq + 1);
            if (what == "offline") {
                e.kind = SimLookupEntry::Kind::Offline;
            } else if (what == "fail") {
                e.kind = SimLookupEntry::Kind::Fail;
            } else if (what == "garbage") {
                e.kind = SimLookupEntry::Kind::Garbage;
            } else if (!HostPort(what, e.host, e.port)) {
                error = "--id takes ID=HOST:PORT, ID=offline, ID=fail or ID=garbage";
                return std::nullopt;
            }
            c.lookupEntries.push_back(e);
        } else if (arg == "--lookup-silent") {
            c.lookupSilent = true;
        } else {
            const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
            switch (ParseRecordingOption(arg, next, c.recording, error)) {
                case RecordingOption::Parsed: ++i; continue;
                case RecordingOption::Flag: continue;
                case RecordingOption::Bad: return std::nullopt;
                case RecordingOption::NotMine: break;
            }
            switch (ParseStreamOption(arg, next, c.stream, error)) {
                case StreamOption::Parsed: ++i; break;
                case StreamOption::Bad: return std::nullopt;
                case StreamOption::NotMine: error = "unknown option " + arg; return std::nullopt;
            }
        }
    }
    error = CheckRecordingConfig(c.recording);
    if (!error.empty()) {
        return std::nullopt;
    }
    if (!c.listenHost && !c.lookupHost) {
        error = "nothing to serve: give --listen and/or --lookup";
        return std::nullopt;
    }
    return c;
}
