#include <cstring>

#include "core/support/FixedText.h"
#include "core/wire/WireFormats.h"

void SetClientRequestToSendDate(unsigned char (&buf)[kLookupMessageSize], const NET_REQUEST& r) {
    std::memset(buf, 0, sizeof buf);
    std::memcpy(buf, &r, sizeof r);
}

void GetClientRequest(NET_REQUEST& r, const unsigned char (&buf)[kLookupMessageSize]) {
    NET_REQUEST raw;
    std::memcpy(&raw, buf, sizeof raw);
    r = NET_REQUEST{};
    r.cmd = raw.cmd;
    r.port1 = raw.port1;
    r.port2 = raw.port2;
    // Re-copying through SetText bounds each text and guarantees its terminator.
    SetText(r.ip, TextOf(raw.ip));
    SetText(r.client, TextOf(raw.client));
    SetText(r.extra, TextOf(raw.extra));
}
