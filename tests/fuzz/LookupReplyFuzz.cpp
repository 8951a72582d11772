// libFuzzer target: a lookup server's 600-byte reply as the client parses it.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/support/FixedText.h"
#include "core/wire/WireFormats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    unsigned char buf[kLookupMessageSize] = {};
    std::memcpy(buf, data, size < sizeof buf ? size : sizeof buf);
    NET_REQUEST r;
    std::memset(&r, 0xA5, sizeof r);
    GetClientRequest(r, buf);
    // Every text the client goes on to use must end inside its field.
    if (TextOf(r.ip).size() >= sizeof r.ip || r.ip[sizeof r.ip - 1] != '\0' ||
        r.client[sizeof r.client - 1] != '\0' || r.extra[sizeof r.extra - 1] != '\0') {
        std::abort();
    }
    return 0;
}
