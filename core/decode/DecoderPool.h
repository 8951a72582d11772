// One H.264 decoder per channel of a DVR, and the copy of a decoded picture into packed I420.
//
// A decoder costs close to a megabyte before its first picture and twice that once it decodes,
// so a channel's decoder is made when the channel first has something to decode and released
// when it has been silent for a while: a DVR costs the channels it shows.
//
// Threads: a DVR's decoder set is prepared before its receive thread starts. The receive thread
// alone makes and releases a channel's decoder (OpenChannel, ReleaseChannel), never while a frame
// of that channel is being decoded; between those, the decoder is used by one thread at a time
// (the receive thread, or the decode lane given the frame), so it needs no lock of its own.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "core/decode/InputPadding.h"
#include "core/support/FfmpegHandles.h"
#include "core/wire/WireFormats.h"

struct Decode_Struct {
    CodecContextPtr out_c[kMaxChannels];  // the open decoder of each channel, or none yet
    const AVCodec* decodec[kMaxChannels] = {};
    FramePtr out_Picture[kMaxChannels];  // the picture each decoder writes into
    PacketPtr packet;                    // reused for every frame
    int32_t init = 0;                    // 1 once the codec is found and the packet made
    std::atomic<uint32_t> made{0};       // decoders made since the start; any thread reads it
    std::atomic<int32_t> open{0};        // decoders open now; any thread reads it
};

// Prepares one DVR's decoder set; 1 at once if it is prepared, -1 when the codec or memory is
// missing (the set then stays uninitialised and a later call starts again).
int32_t initDecode(Decode_Struct& set);

// Makes channel `channel`'s decoder unless it is open; false when it cannot be made.
bool OpenChannel(Decode_Struct& set, int32_t channel);
// Releases channel `channel`'s decoder and its pictures; the next OpenChannel starts afresh.
void ReleaseChannel(Decode_Struct& set, int32_t channel);
// Releases every decoder (a slot given to another DVR starts afresh).
void FlushDecoders(Decode_Struct& set);

// How a decoded picture is written out.
enum class PictureOut : uint8_t {
    I420,        // packed I420 of the SizeFrame geometry
    HalfPacked,  // packed 4:2:2 (Y0 Cb Y1 Cr) at half its width and height, see CopyAVFrameHalved
};

// Decodes one frame's payload (`len` bytes at `data`, followed by kInputPadding readable zero
// bytes) with the decoder of channel `Decodeid`, made first if it is not open. When the decoder
// gives a picture, it is copied to `picture` as packed I420 in the geometry of the header's
// SizeFrame byte (or as `out` says). Returns the picture's size in bytes; 0 when no picture came
// out (before the first key frame, a picture that was only partly decodable, a geometry or pixel
// format that cannot be shown); a negative number on a decode error or a channel outside 0 to 31.
// `reduced`: this frame is decoded without the deblocking filter (see ReducedChannels).
int32_t DecodeData(Decode_Struct& set, const uint8_t* data, uint32_t len,
                   const NET_FRAME_HEADER& DecodeDdataFrame, int32_t Decodeid, uint8_t* picture,
                   bool reduced = false, PictureOut out = PictureOut::I420);

// The same for a packet the caller made (reference-counted: the decoder keeps a reference
// instead of a copy). The channel's decoder must not be used by another thread meanwhile.
int32_t DecodePacket(Decode_Struct& set, AVPacket* packet, const NET_FRAME_HEADER& header,
                     int32_t channel, uint8_t* picture, bool reduced = false,
                     PictureOut out = PictureOut::I420);

// Copies a decoded picture into `dst` as packed I420 of the SizeFrame geometry. Where the decoded
// size differs, the overlap is copied and the rest filled with black; the decoder's planes are
// never read outside their bounds. Returns the bytes written, or 0 (nothing written) for a
// SizeFrame without a picture or a picture that is not 8-bit 4:2:0.
uint32_t CopyAVFrameToBuf(const AVFrame* frame, uint8_t* dst, int32_t sizeFrame);

// The same picture as packed 4:2:2 at half the SizeFrame's width and height, for a channel whose
// panes never show more: every second luma sample of every second row, each output row with the
// chroma row of its own (so chroma keeps its full height), every second chroma sample. Exactly
// what CopyAVFrameToBuf followed by that sampling would give, black fill included, at a third of
// the bytes and without the full copy. Returns the bytes written (width * height / 2), or 0.
uint32_t CopyAVFrameHalved(const AVFrame* frame, uint8_t* dst, int32_t sizeFrame);
