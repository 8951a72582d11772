// Large zero-filled byte buffers allocated once and kept. They are mapped pages of their own:
// fresh zero pages cost resident memory only for the bytes actually written, whatever the heap
// did before. (calloc gives that only while its chunk comes from its own mapping; once the heap
// has raised its mapping threshold above the size, it clears every byte at once.)
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

inline constexpr std::size_t kPageBytes = 4096;
constexpr std::size_t WholePages(std::size_t bytes) {
    return (bytes + kPageBytes - 1) / kPageBytes * kPageBytes;
}

struct PagesDeleter {
    std::size_t bytes = 0;
    void operator()(uint8_t* p) const {
#if defined(__SANITIZE_ADDRESS__)
        std::free(p);
#else
        munmap(p, bytes);
#endif
    }
};
using ByteBuffer = std::unique_ptr<uint8_t[], PagesDeleter>;

// nullptr when the memory could not be had.
inline ByteBuffer AllocZeroed(std::size_t bytes) {
#if defined(__SANITIZE_ADDRESS__)
    // Heap memory, so that AddressSanitizer guards its ends.
    return ByteBuffer(static_cast<uint8_t*>(std::calloc(bytes, 1)), PagesDeleter{bytes});
#else
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return ByteBuffer(p == MAP_FAILED ? nullptr : static_cast<uint8_t*>(p), PagesDeleter{bytes});
#endif
}

// Gives the pages of [start, start + bytes) of a buffer back to the system: they read as zeros
// again and cost no memory until written. `start` is on a page boundary. (Heap memory under
// AddressSanitizer, which keeps them.)
inline void GiveBackPages(uint8_t* start, std::size_t bytes) {
#if defined(__SANITIZE_ADDRESS__)
    (void)start, (void)bytes;
#else
    madvise(start, WholePages(bytes), MADV_DONTNEED);
#endif
}
