// Looks into an H.264 Annex B access unit without decoding it.
#pragma once

#include <cstddef>
#include <cstdint>

// Whether the access unit holds an IDR slice (a picture that needs no earlier one).
bool ContainsIdrSlice(const uint8_t* data, std::size_t len);
// Whether decoding may start at this access unit: an IDR slice, or a recovery-point SEI (how
// encoders with periodic intra refresh mark where pictures become whole again).
bool IsDecodingStart(const uint8_t* data, std::size_t len);
