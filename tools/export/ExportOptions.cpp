#include "tools/export/ExportOptions.h"

#include <cstdio>
#include <string_view>

const char* const kExportUsage =
    "usage: quillmarsh-export --records YYYY-MM-DD SERVER USER PASSWORD\n"
    "       quillmarsh-export --date YYYY-MM-DD --from HH:MM:SS --to HH:MM:SS --cam N[,N...]\n"
    "                         --out DIR SERVER USER PASSWORD\n"
    "--records prints the DVR's recorded range, then one line per recorded file of the day:\n"
    "  {\"start\": \"HH:MM:SS\", \"end\": \"HH:MM:SS\", \"cam\": MASK, \"motion\": 0|1, \"loss\": "
    "0|1,"
    " \"sensor\": 0|1}\n"
    "The clip form plays the range and writes one MP4 file per channel (channels from 1) into\n"
    "DIR, named NAME_CAMnn_YYYY-MM-DD_HHMMSS-HHMMSS.mp4, and prints each file's path and the\n"
    "number of pictures written.\n"
    "Exit status: 0 done; 1 the DVR refused or failed; 2 bad options; 3 a file could not be\n"
    "written; 4 nothing recorded in the range.\n";

namespace {

bool ParseDate(std::string_view s, ExportOptions& o) {
    char tail = 0;
    return std::sscanf(std::string(s).c_str(), "%4d-%2d-%2d%c", &o.year, &o.month, &o.day, &tail) ==
               3 &&
           o.year >= 1900 && o.month >= 1 && o.month <= 12 && o.day >= 1 && o.day <= 31;
}

std::optional<int32_t> ParseTime(std::string_view s) {
    int h = 0, m = 0, sec = 0;
    char tail = 0;
    if (std::sscanf(std::string(s).c_str(), "%2d:%2d:%2d%c", &h, &m, &sec, &tail) != 3 || h < 0 ||
        h > 24 || m < 0 || m > 59 || sec < 0 || sec > 59 || (h == 24 && (m || sec))) {
        return std::nullopt;
    }
    return h * 3600 + m * 60 + sec;
}

bool ParseChannels(std::string_view s, uint32_t& mask) {
    mask = 0;
    while (!s.empty()) {
        const std::size_t comma = s.find(',');
        const std::string part(s.substr(0, comma));
        int c = 0;
        char tail = 0;
        if (std::sscanf(part.c_str(), "%d%c", &c, &tail) != 1 || c < 1 || c > 32) {
            return false;
        }
        mask |= 1u << (c - 1);
        s = comma == std::string_view::npos ? std::string_view() : s.substr(comma + 1);
    }
    return mask != 0;
}

}  // namespace

std::optional<ExportOptions> ParseExportOptions(int argc, char** argv, std::string& error) {
    ExportOptions o;
    bool date = false, from = false, to = false;
    int i = 1;
    for (; i < argc && std::string_view(argv[i]).starts_with("--"); ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help") {
            error.clear();
            return std::nullopt;
        }
        if (i + 1 >= argc) {
            error = std::string(arg) + " takes a value";
            return std::nullopt;
        }
        const std::string_view value = argv[++i];
        std::optional<int32_t> t;
        if (arg == "--records" || arg == "--date") {
            o.records = o.records || arg == "--records";
            date = ParseDate(value, o);
            if (!date) {
                error = std::string(arg) + " takes YYYY-MM-DD";
                return std::nullopt;
            }
        } else if ((arg == "--from" || arg == "--to") && (t = ParseTime(value))) {
            (arg == "--from" ? o.from : o.to) = *t;
            (arg == "--from" ? from : to) = true;
        } else if (arg == "--cam" && ParseChannels(value, o.channels)) {
        } else if (arg == "--out" && !value.empty()) {
            o.outDir = value;
        } else {
            error = "bad option " + std::string(arg) + " " + std::string(value);
            return std::nullopt;
        }
    }
    if (argc - i != 3) {
        error = "give SERVER USER PASSWORD";
        return std::nullopt;
    }
    o.server = argv[i];
    o.user = argv[i + 1];
    o.password = argv[i + 2];
    if (!date) {
        error = "give --records or --date";
    } else if (!o.records && (!from || !to || o.channels == 0 || o.outDir.empty())) {
        error = "the clip form needs --from, --to, --cam and --out";
    } else if (!o.records && o.from >= o.to) {
        error = "--from must come before --to";
    } else {
        return o;
    }
    return std::nullopt;
}
