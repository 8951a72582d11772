// Time limits of the connection path, and the threads it decodes on. Tests shorten the limits
// and force a lane count; the client uses the defaults.
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
    // A streaming DVR silent this long is asked for a key frame; silent `lostAfterKeyRequest`
    // more, its connection counts as lost. A unit that stops half way counts as lost after both.
    std::chrono::milliseconds streamSilence{10000};
    std::chrono::milliseconds lostAfterKeyRequest{5000};
    // TCP keepalive on every DVR connection: a peer that answers no probe is gone.
    std::chrono::seconds keepAliveIdle{10};
    std::chrono::seconds keepAliveInterval{3};
    int keepAliveProbes = 3;
    // The waits before the attempts to reconnect a lost DVR: the first, doubling up to the
    // longest, each stretched or shortened by up to `reconnectJitter`.
    std::chrono::milliseconds reconnectFirst{1000};
    std::chrono::milliseconds reconnectLongest{30000};
    double reconnectJitter = 0.2;
    // A session that stayed up this long starts the waits again from the first; one dropped
    // sooner goes on from where the last waits were, so a DVR that drops every session soon
    // after its login is not asked again every few seconds for ever.
    std::chrono::milliseconds reconnectSteady{60000};
    // Lanes of the decode pool all DVRs share, taken as the first receive thread starts: 0 = one
    // per core (at most 8); below 2, pictures are decoded on each DVR's receive thread itself.
    int decodeLanes = 0;
    // With lanes, a DVR's decoding starts on its own receive thread and moves to the lanes once it
    // takes more of a core than one thread should, or falls behind (core/dvr/Intake.cpp); false
    // starts it on the lanes, for tests of their path.
    bool decodeStartsAlone = true;
    // A channel that had nothing to decode for this long gives its decoder back; a DVR whose
    // channels all did, its queue's and payloads' memory.
    std::chrono::milliseconds decoderIdle{10000};
};
