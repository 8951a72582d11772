// Time limits of the connection path. Tests shorten them; the client uses the defaults.
#pragma once

#include <chrono>

struct ConnectionLimits {
    std::chrono::milliseconds dvrConnect{10000};      // TCP connect to a DVR
    std::chrono::milliseconds lookupConnect{8000};    // TCP connect to the lookup server
    std::chrono::milliseconds lookupExchange{10000};  // request sent and reply read
    std::chrono::milliseconds loginReply{10000};      // wait for the login reply
    std::chrono::milliseconds loginPause{500};        // pause before reading the login reply
    std::chrono::milliseconds send{3000};             // one SendData call
    std::chrono::milliseconds stopPlayPause{1000};    // pause after NET_STOP_PLAY_FILE
};
