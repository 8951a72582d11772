#include "core/decode/H264Scan.h"

namespace {

constexpr uint8_t kIdrSlice = 5;
constexpr uint8_t kSei = 6;
constexpr uint8_t kRecoveryPoint = 6;  // the SEI message that marks a point to start decoding at

// Calls `found(nalType, payload, payloadLength)` for each NAL unit until it returns true.
template <typename Found>
bool ForEachNal(const uint8_t* data, std::size_t len, Found found) {
    for (std::size_t i = 0; i + 3 < len; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            const std::size_t start = i + 4;
            if (found(static_cast<uint8_t>(data[i + 3] & 0x1F), data + start, len - start)) {
                return true;
            }
            i += 2;
        }
    }
    return false;
}

// Whether an SEI payload holds a recovery point among its messages.
bool HasRecoveryPoint(const uint8_t* p, std::size_t len) {
    std::size_t i = 0;
    while (i < len && p[i] != 0x80) {  // 0x80: the trailing bits
        uint32_t type = 0;
        while (i < len && p[i] == 0xFF) {
            type += 255;
            ++i;
        }
        if (i >= len) {
            return false;
        }
        type += p[i++];
        uint32_t size = 0;
        while (i < len && p[i] == 0xFF) {
            size += 255;
            ++i;
        }
        if (i >= len) {
            return false;
        }
        size += p[i++];
        if (type == kRecoveryPoint) {
            return true;
        }
        if (size > len - i) {
            return false;
        }
        i += size;
    }
    return false;
}

}  // namespace

bool ContainsIdrSlice(const uint8_t* data, std::size_t len) {
    return ForEachNal(data, len,
                      [](uint8_t type, const uint8_t*, std::size_t) { return type == kIdrSlice; });
}

bool IsDecodingStart(const uint8_t* data, std::size_t len) {
    return ForEachNal(data, len, [](uint8_t type, const uint8_t* payload, std::size_t size) {
        return type == kIdrSlice || (type == kSei && HasRecoveryPoint(payload, size));
    });
}
