#include "core/export/ClipWriter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

#include "core/decode/H264Scan.h"
#include "core/decode/SizeFrame.h"

namespace {

constexpr AVRational kTicks{1, 90000};

// The SPS and PPS units of an Annex B access unit, each with a 4-byte start code: the codec
// parameters the file's header needs.
std::vector<uint8_t> ParameterSets(const uint8_t* data, std::size_t len) {
    std::vector<uint8_t> out;
    std::size_t i = 0;
    auto nextStart = [&](std::size_t from) {
        for (std::size_t k = from; k + 3 <= len; ++k) {
            if (data[k] == 0 && data[k + 1] == 0 && data[k + 2] == 1) {
                return k;
            }
        }
        return len;
    };
    for (i = nextStart(0); i < len;) {
        const std::size_t begin = i + 3;
        std::size_t end = nextStart(begin);
        const std::size_t next = end;
        while (end > begin && data[end - 1] == 0) {
            --end;  // trailing zeros belong to the next start code
        }
        const int type = begin < len ? (data[begin] & 0x1f) : 0;
        if (type == 7 || type == 8) {
            static constexpr uint8_t kStart[] = {0, 0, 0, 1};
            out.insert(out.end(), kStart, kStart + 4);
            out.insert(out.end(), data + begin, data + end);
        }
        i = next;
    }
    return out;
}

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

}  // namespace

ClipWriter::ClipWriter(std::string path, Mode mode, int64_t from, int64_t to)
    : path_(std::move(path)), mode_(mode), from_(from), to_(to), packet_(av_packet_alloc()) {}

ClipWriter::~ClipWriter() {
    if (!finished_ && out_ && mode_ == Mode::Whole) {
        out_.reset();
        std::remove(WorkPath().c_str());
    }
}

std::string ClipWriter::WorkPath() const {
    return mode_ == Mode::Whole ? path_ + ".part" : path_;
}

bool ClipWriter::Fail(const std::string& what, int code) {
    if (error_.empty()) {
        error_ = code != 0 ? what + ": " + AvError(code) : what;
    }
    return false;
}

bool ClipWriter::Open(const NET_FRAME_HEADER& h, const uint8_t* payload) {
    if (!packet_) {
        return Fail("out of memory");
    }
    const auto geometry = SizeFrameGeometry(h.imageSize);
    const std::vector<uint8_t> sets = ParameterSets(payload, h.dataLen);
    if (!geometry || sets.empty()) {
        return Fail("the first key frame gives no picture size or no parameter sets");
    }
    AVFormatContext* raw = nullptr;
    int rc = avformat_alloc_output_context2(&raw, nullptr, "mp4", nullptr);
    if (rc < 0 || !raw) {
        return Fail("no MP4 muxer", rc);
    }
    out_.reset(raw);
    stream_ = avformat_new_stream(raw, nullptr);
    if (!stream_) {
        return Fail("out of memory");
    }
    AVCodecParameters* par = stream_->codecpar;
    par->codec_type = AVMEDIA_TYPE_VIDEO;
    par->codec_id = AV_CODEC_ID_H264;
    par->width = geometry->width;
    par->height = geometry->height;
    par->extradata = static_cast<uint8_t*>(av_mallocz(sets.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!par->extradata) {
        return Fail("out of memory");
    }
    std::memcpy(par->extradata, sets.data(), sets.size());
    par->extradata_size = static_cast<int>(sets.size());
    stream_->time_base = kTicks;
    if ((rc = avio_open(&raw->pb, WorkPath().c_str(), AVIO_FLAG_WRITE)) < 0) {
        return Fail("cannot write " + WorkPath(), rc);
    }
    AVDictionary* options = nullptr;
    if (mode_ == Mode::Fragmented) {
        av_dict_set(&options, "movflags", "frag_keyframe+empty_moov+default_base_moof", 0);
        raw->flush_packets = 1;  // a finished fragment reaches the file at once
    }
    rc = avformat_write_header(raw, &options);
    av_dict_free(&options);
    if (rc < 0) {
        return Fail("cannot write " + WorkPath(), rc);
    }
    held_.resize(kMaxPicturesPerSecond);
    return true;
}

bool ClipWriter::Add(const NET_FRAME_HEADER& h, const uint8_t* payload) {
    if (failed() || finished_) {
        return false;
    }
    const int64_t second = h.timeSec;
    if (h.type != 'V' || ended_ || second < from_) {
        return true;
    }
    if (second >= to_) {
        ended_ = true;
        return true;
    }
    const bool key = ContainsIdrSlice(payload, h.dataLen);
    if (!out_ || waitForKey_) {
        if (!key) {
            return true;  // a clip starts, and starts again after a loss, at a key frame
        }
        waitForKey_ = false;
    }
    if (!out_) {
        if (!Open(h, payload)) {
            return false;
        }
        firstSecond_ = heldSecond_ = second;
    }
    // A clock that goes back keeps the second held: times in the file never go back.
    if (second > heldSecond_) {
        if (!FlushSecond()) {
            return false;
        }
        heldSecond_ = second;
    }
    if (heldCount_ >= kMaxPicturesPerSecond) {
        return Fail("more than 1000 pictures in one second");
    }
    Held& slot = held_[static_cast<std::size_t>(heldCount_++)];
    slot.bytes.assign(payload, payload + h.dataLen);
    slot.key = key;
    return true;
}

bool ClipWriter::FlushSecond() {
    const int64_t base = (heldSecond_ - firstSecond_) * kTicks.den;
    for (int i = 0; i < heldCount_; ++i) {
        Held& p = held_[static_cast<std::size_t>(i)];
        AVPacket* pkt = packet_.get();
        pkt->data = p.bytes.data();
        pkt->size = static_cast<int>(p.bytes.size());
        pkt->stream_index = 0;
        pkt->flags = p.key ? AV_PKT_FLAG_KEY : 0;
        pkt->pts = pkt->dts = base + int64_t{i} * kTicks.den / heldCount_;
        pkt->duration = (base + int64_t{i + 1} * kTicks.den / heldCount_) - pkt->pts;
        av_packet_rescale_ts(pkt, kTicks, stream_->time_base);
        const int rc = av_write_frame(out_.get(), pkt);
        pkt->data = nullptr;
        pkt->size = 0;
        if (rc < 0 || out_->pb->error < 0) {
            return Fail("cannot write " + WorkPath(), rc < 0 ? rc : out_->pb->error);
        }
        ++written_;
    }
    heldCount_ = 0;
    return true;
}

ClipWriter::Result ClipWriter::Finish() {
    if (finished_) {
        return failed() ? Result::Failed : written_ > 0 ? Result::Written : Result::Nothing;
    }
    if (!out_) {
        finished_ = true;
        return failed() ? Result::Failed : Result::Nothing;
    }
    bool ok = !failed() && FlushSecond();
    if (ok) {
        const int rc = av_write_trailer(out_.get());
        if (rc < 0 || out_->pb->error < 0) {
            ok = Fail("cannot write " + WorkPath(), rc < 0 ? rc : out_->pb->error);
        }
    }
    if (ok) {
        const int rc = avio_closep(&out_->pb);
        if (rc < 0) {
            ok = Fail("cannot write " + WorkPath(), rc);
        }
    }
    out_.reset();
    finished_ = true;
    if (mode_ == Mode::Whole) {
        if (ok && std::rename(WorkPath().c_str(), path_.c_str()) != 0) {
            ok = Fail("cannot rename " + WorkPath() + " to " + path_ + ": " + std::strerror(errno));
        }
        if (!ok) {
            std::remove(WorkPath().c_str());
        }
    }
    return ok ? Result::Written : Result::Failed;
}
