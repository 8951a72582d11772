// libavcodec wants this many zero bytes readable after every input payload
// (AV_INPUT_BUFFER_PADDING_SIZE; DecoderPool.cpp checks that the two agree). Kept apart so that
// code which only sizes buffers needs no FFmpeg header.
#pragma once

#include <cstddef>

inline constexpr std::size_t kInputPadding = 64;
