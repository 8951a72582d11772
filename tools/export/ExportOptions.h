// Command line of quillmarsh-export (see kExportUsage).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct ExportOptions {
    bool records = false;  // --records: list the day's recorded files
    int year = 0, month = 0, day = 0;
    int32_t from = 0, to = 0;  // seconds of the day; from < to
    uint32_t channels = 0;     // bit c - 1 for --cam c
    std::string outDir;
    std::string server, user, password;
};

// The options, or nullopt with `error` set (or empty for --help).
std::optional<ExportOptions> ParseExportOptions(int argc, char** argv, std::string& error);
extern const char* const kExportUsage;
