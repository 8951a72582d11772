// RAII owner of an output file's muxer context: its file closes and the context goes on every path.
#pragma once

extern "C" {
#include <libavformat/avformat.h>
}

#include <memory>

struct OutputContextDeleter {
    void operator()(AVFormatContext* c) const {
        if (c->pb && !(c->oformat->flags & AVFMT_NOFILE)) {
            avio_closep(&c->pb);
        }
        avformat_free_context(c);
    }
};
using OutputContextPtr = std::unique_ptr<AVFormatContext, OutputContextDeleter>;
