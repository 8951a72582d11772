#include "core/support/ZeroPages.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstring>

#include "core/support/ByteBuffer.h"

int GiveBackZeroPages(void* memory, std::size_t bytes) {
    constexpr std::uintptr_t kPage = kPageBytes;
    static const unsigned char zeros[kPage] = {};
    const auto start = reinterpret_cast<std::uintptr_t>(memory);
    std::uintptr_t page = (start + kPage - 1) & ~(kPage - 1);
    const std::uintptr_t end = (start + bytes) & ~(kPage - 1);
    int given = 0;
    while (page < end) {
        // A run of zero pages goes back in one call.
        std::uintptr_t run = page;
        while (run < end && std::memcmp(reinterpret_cast<const void*>(run), zeros, kPage) == 0) {
            run += kPage;
        }
        if (run > page) {
            if (madvise(reinterpret_cast<void*>(page), run - page, MADV_DONTNEED) == 0) {
                given += static_cast<int>((run - page) / kPage);
            }
            page = run;
        } else {
            page += kPage;
        }
    }
    return given;
}
