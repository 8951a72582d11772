#include "core/decode/DecoderPool.h"

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "core/decode/SizeFrame.h"
#include "core/support/Log.h"
#include "core/support/ZeroPages.h"

static_assert(kInputPadding == AV_INPUT_BUFFER_PADDING_SIZE);

namespace {

// libavcodec's complaints about a damaged stream go to the system log with our other
// diagnostics, not to the terminal; below errors they are not worth a line.
void LogFromLibav(void*, int level, const char* format, va_list args) {
    if (level > AV_LOG_ERROR) {
        return;
    }
    char line[256];
    std::vsnprintf(line, sizeof line, format, args);
    QLog("libavcodec: %s", line);
}

}  // namespace

int32_t initDecode(Decode_Struct& set) {
    static std::once_flag logOnce;
    std::call_once(logOnce, [] { av_log_set_callback(LogFromLibav); });
    if (set.init == 1) {
        return 1;
    }
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    if (!codec) {
        QLog("decoder error");
        return -1;
    }
    PacketPtr packet(av_packet_alloc());
    if (!packet) {
        return -1;
    }
    for (int c = 0; c < kMaxChannels; ++c) {
        set.decodec[c] = codec;
    }
    set.packet = std::move(packet);
    set.init = 1;
    return 1;
}

bool OpenChannel(Decode_Struct& set, int32_t channel) {
    if (set.init != 1 || channel < 0 || channel >= kMaxChannels) {
        return false;
    }
    if (set.out_c[channel]) {
        return true;
    }
    const AVCodec* codec = set.decodec[channel];
    CodecContextPtr ctx(avcodec_alloc_context3(codec));
    FramePtr frame(av_frame_alloc());
    if (!ctx || !frame) {
        return false;
    }
    ctx->width = 352;  // the decoder takes the real size from the stream
    ctx->height = 288;
    ctx->thread_count = 1;  // decoding is already parallel across channels; no added latency
    // Pictures decoded from missing references are not shown.
    ctx->flags &= ~AV_CODEC_FLAG_OUTPUT_CORRUPT;
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0) {
        QLog("decoder error");
        return false;
    }
    // libavcodec clears the decoder's whole private context (765 KB for H.264 in FFmpeg 5.1),
    // of which a stream writes a few pages: the rest would stay resident for nothing, on every
    // channel shown. No other thread has this decoder yet.
    if (ctx->priv_data) {
        GiveBackZeroPages(ctx->priv_data, malloc_usable_size(ctx->priv_data));
    }
    set.out_c[channel] = std::move(ctx);
    set.out_Picture[channel] = std::move(frame);
    set.made.fetch_add(1, std::memory_order_relaxed);
    set.open.fetch_add(1, std::memory_order_relaxed);
    return true;
}

void ReleaseChannel(Decode_Struct& set, int32_t channel) {
    if (channel < 0 || channel >= kMaxChannels || !set.out_c[channel]) {
        return;
    }
    set.out_c[channel].reset();
    set.out_Picture[channel].reset();
    set.open.fetch_sub(1, std::memory_order_relaxed);
}

void FlushDecoders(Decode_Struct& set) {
    for (int c = 0; c < kMaxChannels; ++c) {
        ReleaseChannel(set, c);
    }
}

int32_t DecodeData(Decode_Struct& set, const uint8_t* data, uint32_t len,
                   const NET_FRAME_HEADER& DecodeDdataFrame, int32_t Decodeid, uint8_t* picture,
                   bool reduced, PictureOut out) {
    if (set.init != 1 || len > kMaxFramePayload) {
        return -1;
    }
    AVPacket* packet = set.packet.get();
    // Not reference-counted: the decoder takes what it needs before send returns.
    packet->data = const_cast<uint8_t*>(data);
    packet->size = static_cast<int>(len);
    const int32_t result =
        DecodePacket(set, packet, DecodeDdataFrame, Decodeid, picture, reduced, out);
    packet->data = nullptr;
    packet->size = 0;
    return result;
}

int32_t DecodePacket(Decode_Struct& set, AVPacket* packet, const NET_FRAME_HEADER& header,
                     int32_t channel, uint8_t* picture, bool reduced, PictureOut out) {
    if (channel < 0 || channel >= kMaxChannels || !OpenChannel(set, channel)) {
        return -1;
    }
    AVCodecContext* ctx = set.out_c[channel].get();
    AVFrame* frame = set.out_Picture[channel].get();
    // Read at each slice header: it applies to this packet's pictures alone.
    ctx->skip_loop_filter = reduced ? AVDISCARD_ALL : AVDISCARD_DEFAULT;
    const int result = avcodec_send_packet(ctx, packet);
    if (result < 0) {
        return result;
    }
    int32_t written = 0;
    while (avcodec_receive_frame(ctx, frame) == 0) {
        // A picture with decode errors would show broken blocks: keep it off the screen.
        if (frame->decode_error_flags == 0 && !(frame->flags & AV_FRAME_FLAG_CORRUPT)) {
            written = static_cast<int32_t>(
                out == PictureOut::HalfPacked ? CopyAVFrameHalved(frame, picture, header.imageSize)
                                              : CopyAVFrameToBuf(frame, picture, header.imageSize));
        }
        av_frame_unref(frame);
    }
    return written;
}

namespace {

// Copies a plane of srcW x srcH samples into a dstW x dstH plane, filling what the source lacks.
void CopyPlane(uint8_t* dst, int dstW, int dstH, const uint8_t* src, int srcStride, int srcW,
               int srcH, uint8_t fill) {
    const int rows = std::min(dstH, srcH);
    const int cols = std::max(0, std::min(dstW, srcW));
    for (int r = 0; r < rows; ++r) {
        std::memcpy(dst, src + static_cast<std::ptrdiff_t>(r) * srcStride,
                    static_cast<std::size_t>(cols));
        std::memset(dst + cols, fill, static_cast<std::size_t>(dstW - cols));
        dst += dstW;
    }
    for (int r = std::max(rows, 0); r < dstH; ++r) {
        std::memset(dst, fill, static_cast<std::size_t>(dstW));
        dst += dstW;
    }
}

// The geometry of `sizeFrame` when `frame` holds an 8-bit 4:2:0 picture to copy into it.
std::optional<PictureGeometry> CopyableGeometry(const AVFrame* frame, int32_t sizeFrame) {
    const std::optional<PictureGeometry> g = SizeFrameGeometry(sizeFrame);
    if (!g || !frame || !frame->data[0] || !frame->data[1] || !frame->data[2]) {
        return std::nullopt;
    }
    if (frame->format != AV_PIX_FMT_YUV420P && frame->format != AV_PIX_FMT_YUVJ420P) {
        QLog("picture format %d is not 8-bit 4:2:0: dropped", frame->format);
        return std::nullopt;
    }
    return g;
}

// Output pairs [from, to) of one halved row: pair k is luma 4k, Cb 2k, luma 4k+2, Cr 2k, read
// where the decoded planes have them and black where they do not.
void HalvedPairs(uint8_t* out, int from, int to, const uint8_t* y, const uint8_t* cb,
                 const uint8_t* cr, int lumaWidth, int chromaWidth) {
    for (int k = from; k < to; ++k) {
        const bool l0 = y && 4 * k < lumaWidth;
        const bool l1 = y && 4 * k + 2 < lumaWidth;
        const bool c = cb && 2 * k < chromaWidth;
        out[4 * k] = l0 ? y[4 * k] : 16;
        out[4 * k + 1] = c ? cb[2 * k] : 128;
        out[4 * k + 2] = l1 ? y[4 * k + 2] : 16;
        out[4 * k + 3] = c ? cr[2 * k] : 128;
    }
}

}  // namespace

uint32_t CopyAVFrameHalved(const AVFrame* frame, uint8_t* dst, int32_t sizeFrame) {
    const std::optional<PictureGeometry> g = CopyableGeometry(frame, sizeFrame);
    if (!g) {
        return 0;
    }
    const int pairs = g->width / 4;
    const int lumaWidth = frame->width;
    const int chromaWidth = (frame->width + 1) / 2;
    const int chromaHeight = (frame->height + 1) / 2;
    // The pairs read 8 at a time: their 32 luma and 16 chroma bytes lie inside the planes' rows.
    const int wide = std::clamp(std::min(lumaWidth / 32, chromaWidth / 16) * 8, 0, pairs);
    for (int r = 0; r < g->height / 2; ++r) {
        uint8_t* out = dst + static_cast<std::ptrdiff_t>(r) * g->width;
        if (2 * r >= frame->height || r >= chromaHeight) {  // below the decoded picture
            HalvedPairs(out, 0, pairs, nullptr, nullptr, nullptr, 0, 0);
            continue;
        }
        const uint8_t* y = frame->data[0] + static_cast<std::ptrdiff_t>(2 * r) * frame->linesize[0];
        const uint8_t* cb = frame->data[1] + static_cast<std::ptrdiff_t>(r) * frame->linesize[1];
        const uint8_t* cr = frame->data[2] + static_cast<std::ptrdiff_t>(r) * frame->linesize[2];
        int k = 0;
#ifdef __SSE2__
        const __m128i even = _mm_set1_epi16(0x00FF);
        for (; k + 8 <= wide; k += 8) {
            const auto* ly = reinterpret_cast<const __m128i*>(y + 4 * k);
            const __m128i luma = _mm_packus_epi16(_mm_and_si128(_mm_loadu_si128(ly), even),
                                                  _mm_and_si128(_mm_loadu_si128(ly + 1), even));
            const __m128i u =
                _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cb + 2 * k)), even);
            const __m128i v =
                _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cr + 2 * k)), even);
            const __m128i chroma =
                _mm_unpacklo_epi8(_mm_packus_epi16(u, u), _mm_packus_epi16(v, v));
            auto* o = reinterpret_cast<__m128i*>(out + 4 * k);
            _mm_storeu_si128(o, _mm_unpacklo_epi8(luma, chroma));
            _mm_storeu_si128(o + 1, _mm_unpackhi_epi8(luma, chroma));
        }
#endif
        HalvedPairs(out, k, pairs, y, cb, cr, lumaWidth, chromaWidth);
    }
    return static_cast<uint32_t>(g->HalfPackedBytes());
}

uint32_t CopyAVFrameToBuf(const AVFrame* frame, uint8_t* dst, int32_t sizeFrame) {
    const std::optional<PictureGeometry> g = CopyableGeometry(frame, sizeFrame);
    if (!g) {
        return 0;
    }
    const int w = g->width;
    const int h = g->height;
    const int cw = (frame->width + 1) / 2;
    const int ch = (frame->height + 1) / 2;
    CopyPlane(dst, w, h, frame->data[0], frame->linesize[0], frame->width, frame->height, 16);
    uint8_t* cb = dst + w * h;
    CopyPlane(cb, w / 2, h / 2, frame->data[1], frame->linesize[1], cw, ch, 128);
    CopyPlane(cb + w * h / 4, w / 2, h / 2, frame->data[2], frame->linesize[2], cw, ch, 128);
    return static_cast<uint32_t>(g->I420Bytes());
}
