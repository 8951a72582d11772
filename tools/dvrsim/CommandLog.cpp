#include "tools/dvrsim/CommandLog.h"

#include "core/support/FixedText.h"

CommandLog::CommandLog(const std::string& path) {
    if (!path.empty()) {
        file_ = std::fopen(path.c_str(), "a");
    }
}

CommandLog::~CommandLog() {
    if (file_) {
        std::fclose(file_);
    }
}

std::string HexBytes(const void* data, std::size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(n * 2);
    auto* p = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < n; ++i) {
        out.push_back(digits[p[i] >> 4]);
        out.push_back(digits[p[i] & 15]);
    }
    return out;
}

void CommandLog::Command(const NET_COMMAND& c) {
    Line("CMD " + std::to_string(c.iCmd) + " " + std::to_string(c.iParam1) + " " +
         std::to_string(c.iParam2) + " " + std::to_string(c.iParam3) + " " +
         std::to_string(c.iParam4) + " " + HexBytes(&c, sizeof c));
}

void CommandLog::Login(const NET_LOGIN_INFO& info) {
    Line("LOGIN " + std::string(TextOf(info.user)) + " " + std::string(TextOf(info.pass)) + " " +
         HexBytes(&info, sizeof info));
}

void CommandLog::Line(const std::string& text) {
    std::lock_guard<std::mutex> g(lock_);
    if (file_) {
        std::fprintf(file_, "%s\n", text.c_str());
        std::fflush(file_);
    }
}
