// Large zero-filled byte buffers allocated once and kept. calloc hands out fresh zero pages for
// large sizes, so a buffer costs resident memory only for the bytes actually written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

struct FreeDeleter {
    void operator()(uint8_t* p) const { std::free(p); }
};
using ByteBuffer = std::unique_ptr<uint8_t[], FreeDeleter>;

// nullptr when the memory could not be had.
inline ByteBuffer AllocZeroed(std::size_t bytes) {
    return ByteBuffer(static_cast<uint8_t*>(std::calloc(bytes, 1)));
}
