// Packed I420 (decoder output) to packed 4:2:2 in Y0 Cb Y1 Cr order (pane buffers and texture).
// Samples are only re-arranged; chroma rows are repeated for the two picture rows they cover.
#pragma once

#include <cstdint>

// Converts the picture at `src` into `dst` with the geometry of `SizeFrame`; for a SizeFrame
// without a picture nothing is written. Always returns 0.
uint32_t DataChange(uint8_t* dst, const uint8_t* src, int32_t SizeFrame);

// The row conversion: width x height luma, (width/2) x (height/2) for each chroma plane, into
// height rows of 2 * width bytes.
void yuv420p_to_yuv422(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                       int width, int height);
