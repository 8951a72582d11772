// Command-line configuration of the simulated DVR and lookup server.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/dvrsim/RecordingSchedule.h"
#include "tools/dvrsim/StreamConfig.h"

struct SimAccount {
    std::string user;
    std::string pass;
    int32_t mode = 2;       // iParam2 of the login reply: 2 = superuser
    int32_t channels = 16;  // iParam4 of the login reply
};

// One identifier the lookup server knows.
struct SimLookupEntry {
    enum class Kind { Found, Offline, Fail, Garbage };
    std::string id;
    Kind kind = Kind::Found;
    std::string host;  // Found
    int32_t port = 0;  // Found (sent as given, even outside 1-65535)
};

struct SimConfig {
    std::optional<std::string> listenHost;  // DVR side
    int listenPort = 0;                     // 0 = any free port
    std::vector<SimAccount> accounts;
    int maxUsers = 8;
    bool superOnline = false;   // the superuser is logged in elsewhere
    bool silent = false;        // accept, read, never answer
    bool closeOnLogin = false;  // close the connection when the login record arrives
    bool stopReading = false;   // after a login, stop reading commands (the client's sends fill up)
    std::string logPath;        // one line per received record
    StreamConfig stream;        // live stream after NET_LIVE_VIEW
    RecordingConfig recording;  // disks, recordings, searches and playback

    std::optional<std::string> lookupHost;  // lookup server on lookupHost:lookupPort
    int lookupPort = 10089;
    std::vector<SimLookupEntry> lookupEntries;
    bool lookupSilent = false;  // accept, read the request, never answer
};

// Parses argv; on an error returns nullopt and puts a message into `error`.
std::optional<SimConfig> ParseSimConfig(int argc, char** argv, std::string& error);
extern const char* const kSimUsage;
