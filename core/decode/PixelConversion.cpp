#include "core/decode/PixelConversion.h"

#include "core/decode/SizeFrame.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

// One output row: luma[x], Cb[x/2], luma[x+1], Cr[x/2] for every pair of pixels.
void PackRow(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* out, int width) {
    int x = 0;
#ifdef __SSE2__
    // Sixteen pixels at a time: interleave Cb and Cr, then luma with the pairs.
    for (; x + 16 <= width; x += 16) {
        const __m128i luma = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + x));
        const __m128i cb = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(u + x / 2));
        const __m128i cr = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + x / 2));
        const __m128i chroma = _mm_unpacklo_epi8(cb, cr);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * x), _mm_unpacklo_epi8(luma, chroma));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * x + 16),
                         _mm_unpackhi_epi8(luma, chroma));
    }
#endif
    for (; x + 1 < width; x += 2) {
        out[2 * x] = y[x];
        out[2 * x + 1] = u[x / 2];
        out[2 * x + 2] = y[x + 1];
        out[2 * x + 3] = v[x / 2];
    }
}

}  // namespace

void yuv420p_to_yuv422(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                       int width, int height) {
    const int chromaWidth = width / 2;
    for (int r = 0; r < height; ++r) {
        const int chromaRow = r / 2;
        PackRow(y + r * width, u + chromaRow * chromaWidth, v + chromaRow * chromaWidth,
                dst + r * 2 * width, width);
    }
}

uint32_t DataChange(uint8_t* dst, const uint8_t* src, int32_t SizeFrame) {
    const auto g = SizeFrameGeometry(SizeFrame);
    if (!g) {
        return 0;
    }
    const int w = g->width;
    const int h = g->height;
    yuv420p_to_yuv422(src, src + w * h, src + w * h * 5 / 4, dst, w, h);
    return 0;
}
