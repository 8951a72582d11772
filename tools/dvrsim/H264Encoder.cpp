#include "tools/dvrsim/H264Encoder.h"

#include <stdexcept>
#include <string>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/opt.h>
}

namespace {

const char* const kEncoderName = "libx264";

std::string AvError(const char* what, int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return std::string("libx264 ") + what + ": " + text;
}

void Check(const char* what, int code) {
    if (code < 0) {
        throw std::runtime_error(AvError(what, code));
    }
}

}  // namespace

bool H264Encoder::Available() {
    return avcodec_find_encoder_by_name(kEncoderName) != nullptr;
}

H264Encoder::H264Encoder(int width, int height, int gop, bool intraRefresh, bool deblock) {
    const AVCodec* codec = avcodec_find_encoder_by_name(kEncoderName);
    if (!codec) {
        throw std::runtime_error("this libavcodec has no libx264 encoder");
    }
    context_.reset(avcodec_alloc_context3(codec));
    frame_.reset(av_frame_alloc());
    if (!context_ || !frame_) {
        throw std::runtime_error("out of memory for the encoder");
    }
    AVCodecContext* c = context_.get();
    c->width = width;
    c->height = height;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = AVRational{1, 25};
    c->framerate = AVRational{25, 1};
    c->gop_size = gop;
    c->max_b_frames = 0;
    // One slice per picture, as a camera encoder would send it.
    c->thread_count = 1;
    Check("preset", av_opt_set(c->priv_data, "preset", "ultrafast", 0));
    Check("tune", av_opt_set(c->priv_data, "tune", "zerolatency", 0));
    // SPS and PPS before every IDR, and no extra key frames inside the loop.
    std::string params = intraRefresh ? "repeat-headers=1:scenecut=0:intra-refresh=1"
                                      : "repeat-headers=1:scenecut=0";
    if (deblock) {
        params += ":deblock=1";
    }
    Check("x264-params", av_opt_set(c->priv_data, "x264-params", params.c_str(), 0));
    Check("open", avcodec_open2(c, codec, nullptr));

    frame_->format = c->pix_fmt;
    frame_->width = width;
    frame_->height = height;
    Check("picture buffer", av_frame_get_buffer(frame_.get(), 0));
}

YuvPlanes H264Encoder::Picture() {
    // The encoder may still hold a reference to the last picture's buffers.
    Check("picture buffer", av_frame_make_writable(frame_.get()));
    return YuvPlanes{frame_->data[0],     frame_->data[1],     frame_->data[2],
                     frame_->linesize[0], frame_->linesize[1], frame_->linesize[2]};
}

std::vector<uint8_t> H264Encoder::Encode() {
    frame_->pts = pts_++;
    Check("send", avcodec_send_frame(context_.get(), frame_.get()));
    PacketPtr packet(av_packet_alloc());
    if (!packet) {
        throw std::runtime_error("out of memory for a packet");
    }
    // Without B pictures and lookahead every picture comes straight back; anything else would
    // shift the loop by a picture.
    Check("receive", avcodec_receive_packet(context_.get(), packet.get()));
    return std::vector<uint8_t>(packet->data, packet->data + packet->size);
}
