// Fixed-width, NUL-terminated text fields of the wire records and the saved list.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

// The text of a field: up to its first NUL, never past its width (a peer or a file may leave
// the terminator out).
template <std::size_t N>
std::string_view TextOf(const char (&field)[N]) {
    return std::string_view(field, ::strnlen(field, N));
}

// Writes text into a field, cut to N - 1 bytes so that the terminator always fits; the bytes after
// the text are zeroed. With utf8 set, a cut never splits a multi-byte character.
template <std::size_t N>
void SetText(char (&field)[N], std::string_view text, bool utf8 = false) {
    static_assert(N > 0);
    std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
    if (utf8 && n < text.size()) {
        // Back off continuation bytes (10xxxxxx) so the cut lands on a character boundary.
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) {
            --n;
        }
    }
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), n);
}
