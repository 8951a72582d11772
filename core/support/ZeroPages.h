// Handing back pages of an allocation that are still all zeros.
//
// A library may clear a large block when it makes it and then write only a little of it (the
// H.264 decoder clears a context of three quarters of a megabyte, of which a stream writes a
// few pages): clearing made every page resident. A page handed back reads as zeros again, and
// one written later comes back then, so the block's contents never change.
//
// Only whole pages inside [memory, memory + bytes) are looked at, so no other allocation shares
// them. The caller guarantees that no other thread reads or writes the block meanwhile.
#pragma once

#include <cstddef>

// Hands back the whole pages of the block that are all zeros; the pages handed back.
int GiveBackZeroPages(void* memory, std::size_t bytes);
