#include "core/export/ClipName.h"

#include <cstdio>

namespace {

constexpr std::size_t kMaxNameBytes = 100;  // leaves room for the rest under 255 bytes

bool Refused(unsigned char c) {
    return c < 0x20 || c == 0x7f || c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' ||
           c == '"' || c == '<' || c == '>' || c == '|';
}

}  // namespace

std::string SafeFileNamePart(std::string_view text) {
    std::string out(text.substr(0, kMaxNameBytes));
    for (char& c : out) {
        if (Refused(static_cast<unsigned char>(c))) {
            c = '_';
        }
    }
    if (out.empty() || out == "." || out == "..") {
        return "_";
    }
    if (out.back() == '.' || out.back() == ' ') {
        out.back() = '_';
    }
    return out;
}

std::string ClipFileName(std::string_view displayName, int channel, int year, int month, int day,
                         int32_t from, int32_t to) {
    char rest[64];
    std::snprintf(rest, sizeof rest, "_CAM%02d_%04d-%02d-%02d_%02d%02d%02d-%02d%02d%02d.mp4",
                  channel % 100, year % 10000, month % 100, day % 100, from / 3600 % 100,
                  from / 60 % 60, from % 60, to / 3600 % 100, to / 60 % 60, to % 60);
    return SafeFileNamePart(displayName) + rest;
}

std::string LiveFileName(std::string_view displayName, int channel, int year, int month, int day,
                         int32_t from) {
    char rest[64];
    std::snprintf(rest, sizeof rest, "_CAM%02d_%04d-%02d-%02d_%02d%02d%02d_live.mp4", channel % 100,
                  year % 10000, month % 100, day % 100, from / 3600 % 100, from / 60 % 60,
                  from % 60);
    return SafeFileNamePart(displayName) + rest;
}
