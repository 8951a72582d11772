#include "tools/dvrsim/H264File.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <utility>

#include "core/decode/SizeFrame.h"
#include "core/support/FfmpegHandles.h"
#include "core/wire/WireFormats.h"

namespace {

bool IsSlice(int type) {
    return type == 1 || type == 2 || type == kNalIdrSlice;
}

// NAL units that, once the unit has a picture, begin the next one: SEI, SPS, PPS, access unit
// delimiter and types 14 to 18.
bool BeginsUnit(int type) {
    return type == 6 || type == kNalSps || type == kNalPps || type == 9 ||
           (type >= 14 && type <= 18);
}

// The width and height of the first picture the unit decodes to.
std::optional<std::pair<int, int>> DecodedSize(const std::vector<uint8_t>& au) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    CodecContextPtr context(codec ? avcodec_alloc_context3(codec) : nullptr);
    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    if (!context || !packet || !frame) {
        return std::nullopt;
    }
    context->thread_count = 1;
    if (avcodec_open2(context.get(), codec, nullptr) < 0 ||
        av_new_packet(packet.get(), static_cast<int>(au.size())) < 0) {
        return std::nullopt;
    }
    std::memcpy(packet->data, au.data(), au.size());
    // Draining hands out the picture even when the decoder would hold it back.
    if (avcodec_send_packet(context.get(), packet.get()) < 0 ||
        avcodec_send_packet(context.get(), nullptr) < 0 ||
        avcodec_receive_frame(context.get(), frame.get()) < 0) {
        return std::nullopt;
    }
    return std::pair{frame->width, frame->height};
}

}  // namespace

bool HasNalTypes(std::span<const uint8_t> au, std::initializer_list<int> wanted) {
    unsigned seen = 0;
    for (std::size_t i = 0; i + 3 < au.size(); ++i) {
        if (au[i] == 0 && au[i + 1] == 0 && au[i + 2] == 1) {
            seen |= 1u << (au[i + 3] & 0x1F);
            i += 2;
        }
    }
    return std::all_of(wanted.begin(), wanted.end(),
                       [&](int type) { return (seen & (1u << type)) != 0; });
}

std::vector<std::vector<uint8_t>> SplitAccessUnits(std::span<const uint8_t> s, std::string& error) {
    std::vector<std::vector<uint8_t>> units;
    std::optional<std::size_t> unitStart;  // set at the first start code
    bool picture = false;                  // the unit being gathered holds a slice
    const auto close = [&](std::size_t end) {
        const std::size_t size = end - *unitStart;
        if (size > kMaxFramePayload) {
            error = "picture " + std::to_string(units.size()) + " has " + std::to_string(size) +
                    " bytes, more than a frame carries (" + std::to_string(kMaxFramePayload) + ")";
            return false;
        }
        if (units.size() == kMaxH264FilePictures) {
            error = "more than " + std::to_string(kMaxH264FilePictures) + " pictures";
            return false;
        }
        units.emplace_back(s.begin() + static_cast<std::ptrdiff_t>(*unitStart),
                           s.begin() + static_cast<std::ptrdiff_t>(end));
        return true;
    };
    for (std::size_t i = 0; i + 3 < s.size(); ++i) {
        if (s[i] != 0 || s[i + 1] != 0 || s[i + 2] != 1) {
            continue;
        }
        const std::size_t header = i + 3;
        const std::size_t codeStart = i > 0 && s[i - 1] == 0 ? i - 1 : i;  // 4-byte start code
        if (!unitStart) {
            if (std::any_of(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(codeStart),
                            [](uint8_t b) { return b != 0; })) {
                error = "it does not begin with a start code";
                return {};
            }
            unitStart = codeStart;
        }
        const int type = s[header] & 0x1F;
        // first_mb_in_slice 0, coded as the single bit 1: the slice starts a new picture.
        const bool firstSlice = IsSlice(type) && header + 1 < s.size() && (s[header + 1] & 0x80);
        if (picture && (BeginsUnit(type) || firstSlice)) {
            if (!close(codeStart)) {
                return {};
            }
            unitStart = codeStart;
            picture = false;
        }
        picture = picture || IsSlice(type);
        i = header;
    }
    if (!unitStart) {
        error = "it holds no start code";
        return {};
    }
    if (!picture) {
        error = "it ends with NAL units that belong to no picture";
        return {};
    }
    if (!close(s.size())) {
        return {};
    }
    return units;
}

std::optional<H264File> LoadH264File(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return std::nullopt;
    }
    std::vector<uint8_t> bytes;
    std::vector<char> chunk(1 << 16);
    // Read in chunks rather than by the reported size, which a pipe or a growing file lacks.
    while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || in.gcount() > 0) {
        const auto got = static_cast<std::size_t>(in.gcount());
        if (bytes.size() + got > kMaxH264FileBytes) {
            error = path + " is larger than " + std::to_string(kMaxH264FileBytes >> 20) + " MiB";
            return std::nullopt;
        }
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(got));
    }
    if (in.bad()) {
        error = "cannot read " + path;
        return std::nullopt;
    }
    if (bytes.empty()) {
        error = path + " is empty";
        return std::nullopt;
    }
    H264File file{SplitAccessUnits(bytes, error), 0, 0};
    if (file.pictures.empty()) {
        error = path + " is no H.264 Annex B stream: " + error;
        return std::nullopt;
    }
    // A client starts decoding at the first picture, and again each time the file loops.
    if (!HasNalTypes(file.pictures.front(), {kNalSps, kNalPps, kNalIdrSlice})) {
        error = "the first picture of " + path + " lacks SPS, PPS or an IDR slice";
        return std::nullopt;
    }
    const auto size = DecodedSize(file.pictures.front());
    if (!size) {
        error = "the first picture of " + path + " does not decode";
        return std::nullopt;
    }
    for (int8_t standard = 0; standard <= 1; ++standard) {
        for (int8_t imageSize = 0; imageSize <= 2; ++imageSize) {
            const auto g = SizeFrameGeometry(FoldSizeFrame(standard, imageSize));
            if (g && g->width == size->first && g->height == size->second) {
                file.videoStandard = standard;
                file.imageSize = imageSize;
                return file;
            }
        }
    }
    error = path + " has " + std::to_string(size->first) + "x" + std::to_string(size->second) +
            " pictures; a DVR sends 704x576, 704x288, 352x288, 704x480, 704x240 or 352x240";
    return std::nullopt;
}
