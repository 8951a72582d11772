#include "tools/dvrsim/FrameEmitter.h"

#include <algorithm>
#include <atomic>
#include <string>

namespace {

constexpr int32_t kUnknownInfoSubtype = 3;
constexpr uint8_t kBadTypePayload[16] = {0xDE, 0xAD, 0xBE, 0xEF};

// The fault of a session: a first-session-only fault goes to the first session that asks.
std::optional<StreamFault> SessionFault(const std::optional<StreamFault>& fault) {
    static std::atomic<bool> taken{false};
    if (fault && fault->firstSessionOnly && taken.exchange(true)) {
        return std::nullopt;
    }
    return fault;
}

}  // namespace

FrameEmitter::FrameEmitter(const StreamConfig& config, CommandLog& log, SessionSocket& socket,
                           FrameRecorder& recorder)
    : config_(config),
      log_(log),
      socket_(socket),
      recorder_(recorder),
      pendingFault_(SessionFault(config.fault)) {}

bool FrameEmitter::Emit(std::span<const MediaFrame> frames) {
    std::size_t i = 0;
    while (i < frames.size()) {
        if (pendingFault_ && sent_ >= pendingFault_->afterFrames) {
            const StreamFault::Kind kind = pendingFault_->kind;
            pendingFault_.reset();
            if (!Inject(kind, frames[i])) {
                return false;
            }
            continue;
        }
        std::size_t take = config_.bundle > 0 ? static_cast<std::size_t>(config_.bundle) : 1;
        take = std::min(take, frames.size() - i);
        if (pendingFault_) {
            // Close a bundle early so the fault comes after exactly K frames.
            take = std::min(take, static_cast<std::size_t>(pendingFault_->afterFrames - sent_));
        }
        if (!SendUnit(frames.subspan(i, take))) {
            return false;
        }
        sent_ += static_cast<int64_t>(take);
        i += take;
    }
    return true;
}

bool FrameEmitter::SendUnit(std::span<const MediaFrame> frames) {
    buffer_.clear();
    if (config_.bundle > 0) {
        AppendBundleRecord(buffer_, frames);
    } else {
        AppendFrameRecord(buffer_, frames.front().header, frames.front().payload);
    }
    if (!socket_.Send(buffer_.data(), buffer_.size())) {
        return false;
    }
    for (const MediaFrame& f : frames) {
        if (f.header.type == 'V') {
            recorder_.Append(f.header.channel, f.payload);
        }
    }
    return true;
}

bool FrameEmitter::Inject(StreamFault::Kind kind, const MediaFrame& next) {
    log_.Line(std::string("FAULT ") + FaultName(kind));
    buffer_.clear();
    NET_FRAME_HEADER header = next.header;
    switch (kind) {
        case StreamFault::Kind::CloseMidFrame:
            AppendFrameRecord(buffer_, header, next.payload);
            buffer_.resize(buffer_.size() - next.payload.size() + next.payload.size() / 2);
            socket_.Send(buffer_.data(), buffer_.size());
            socket_.Shutdown();
            return false;
        case StreamFault::Kind::BadType:
            header.type = 'X';
            header.dataLen = sizeof kBadTypePayload;
            AppendFrameRecord(buffer_, header, kBadTypePayload);
            return socket_.Send(buffer_.data(), buffer_.size());
        case StreamFault::Kind::Oversize:
            header.dataLen = kMaxFramePayload + 1;
            AppendFrameRecord(buffer_, header, {});
            socket_.Send(buffer_.data(), buffer_.size());
            return false;
        case StreamFault::Kind::Stall: return false;
        case StreamFault::Kind::Blackhole: socket_.Silence(); return false;
        case StreamFault::Kind::Garbage: {
            // The same bytes on every run, and not a whole number of records.
            uint32_t state = 2463534242u;
            buffer_.resize(4093);
            for (auto& byte : buffer_) {
                state ^= state << 13;
                state ^= state >> 17;
                state ^= state << 5;
                byte = static_cast<uint8_t>(state);
            }
            socket_.Send(buffer_.data(), buffer_.size());
            socket_.Shutdown();
            return false;
        }
        case StreamFault::Kind::UnknownInfo: {
            const NET_COMMAND info = MakeCommand(NET_OTHER_INFO, kUnknownInfoSubtype);
            return socket_.Send(&info, sizeof info);
        }
    }
    return false;
}
