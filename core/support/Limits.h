// The numbering every table of the client shares.
#pragma once

inline constexpr int kMaxDvrs = 64;  // DVR numbers 0 to 63: the positions in the saved list
inline constexpr int kPanes = 256;   // pane numbers 0 to 255
