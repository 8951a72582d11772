// The saved DVR list file: 64 entries of 1,160 bytes, then the 256 pane assignment codes, 75,264
// bytes in all, little-endian, no header. Pure file access; the controller owns the tables.
#pragma once

#include <cstdint>
#include <string>

#include "core/directory/SaveInfo.h"

struct UserListImage {
    SAVE_INFO_STRUCT entries[kMaxDvrs];
    int32_t codes[kPanes];
};
static_assert(sizeof(UserListImage) == 75264);

// Reads as much of the file as there is over `image` (what a short file lacks keeps its previous
// content). Returns the bytes read, or -1 when the file cannot be read; `error` then holds the
// errno (ENOENT: there is no list yet).
long ReadUserList(const std::string& path, UserListImage& image, int* error = nullptr);

// Makes an image safe to use: every text field of an entry in use ends within its width, and the
// entries in use come first, in file order (a free slot before an entry in use would put the tree
// and the table out of step). Returns the number of entries in use.
int NormaliseUserList(UserListImage& image);

// Writes the image without ever leaving a partial list behind: a temporary file in the same
// folder, flushed to disk, then renamed over `path`. The file is readable by its owner only (it
// holds passwords). The folder is created when missing. Returns false on any failure.
bool WriteUserList(const std::string& path, const UserListImage& image);
