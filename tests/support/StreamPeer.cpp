#include "tests/support/StreamPeer.h"

#include "core/net/TcpSocket.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

StreamPeer::StreamPeer(NetCtrl_Struct& block) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
        throw std::runtime_error("socketpair");
    }
    fd_ = fds[1];
    // The transitions a login takes, on a connection that needs none.
    block.BeginLogin(TcpSocket::Adopt(fds[0]));
    block.LoginAccepted(block.iUsermode.load(), block.iDvrChannel.load());
    block.SetLiveStatus(NET_DATA_SEND);
    block.SessionUp();
    thread_ = std::thread([this] { Writer(); });
}

StreamPeer::~StreamPeer() {
    {
        std::lock_guard<std::mutex> g(lock_);
        closing_ = true;
        pending_.clear();
    }
    changed_.notify_all();
    ::shutdown(fd_, SHUT_RDWR);  // a writer blocked on a full socket gives up
    thread_.join();
    ::close(fd_);
}

void StreamPeer::Send(const std::vector<uint8_t>& bytes) {
    {
        std::lock_guard<std::mutex> g(lock_);
        pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    }
    changed_.notify_all();
}

void StreamPeer::Flush() {
    std::unique_lock<std::mutex> g(lock_);
    changed_.wait(g, [&] { return (pending_.empty() && !writing_) || closing_; });
}

void StreamPeer::Close() {
    Flush();
    ::shutdown(fd_, SHUT_WR);
}

std::vector<NET_COMMAND> StreamPeer::ReceivedCommands() {
    uint8_t chunk[4096];
    ssize_t n;
    while ((n = ::recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT)) > 0) {
        received_.insert(received_.end(), chunk, chunk + n);
    }
    std::vector<NET_COMMAND> out(received_.size() / sizeof(NET_COMMAND));
    if (!out.empty()) {
        std::memcpy(out.data(), received_.data(), out.size() * sizeof(NET_COMMAND));
    }
    return out;
}

void StreamPeer::Writer() {
    std::vector<uint8_t> chunk;
    for (;;) {
        {
            std::unique_lock<std::mutex> g(lock_);
            writing_ = false;
            changed_.notify_all();
            changed_.wait(g, [&] { return !pending_.empty() || closing_; });
            if (closing_) {
                return;
            }
            chunk.swap(pending_);
            pending_.clear();
            writing_ = true;
        }
        std::size_t off = 0;
        while (off < chunk.size()) {
            ssize_t n = ::send(fd_, chunk.data() + off, chunk.size() - off, MSG_NOSIGNAL);
            if (n <= 0) {
                return;
            }
            off += static_cast<std::size_t>(n);
        }
        chunk.clear();
    }
}

NET_FRAME_HEADER MakeHeader(const FrameSpec& desc, uint32_t dataLen) {
    NET_FRAME_HEADER h{};
    h.dataLen = dataLen;
    h.seqReset = desc.seqReset;
    h.timeSec = desc.timeSec;
    h.timeExtra = desc.timeExtra;
    h.type = desc.type;
    h.channel = desc.channel;
    h.videoStandard = desc.videoStandard;
    h.imageSize = desc.imageSize;
    h.frameNo = desc.frameNo;
    return h;
}

namespace {
void Append(std::vector<uint8_t>& out, const void* data, std::size_t n) {
    auto* p = static_cast<const uint8_t*>(data);
    out.insert(out.end(), p, p + n);
}
}  // namespace

std::vector<uint8_t> CommandUnit(const NET_COMMAND& c, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> out;
    Append(out, &c, sizeof c);
    Append(out, payload.data(), payload.size());
    return out;
}

std::vector<uint8_t> FrameUnit(const FrameSpec& desc, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> out = CommandUnit(MakeCommand(NET_FRAME_DATA));
    const NET_FRAME_HEADER h = MakeHeader(desc, static_cast<uint32_t>(payload.size()));
    Append(out, &h, sizeof h);
    Append(out, payload.data(), payload.size());
    return out;
}

std::vector<uint8_t> BundleUnit(
    const std::vector<std::pair<FrameSpec, std::vector<uint8_t>>>& members,
    uint32_t countOverride) {
    std::vector<uint8_t> body;
    for (const auto& [desc, payload] : members) {
        body.resize((body.size() + 3) & ~std::size_t{3}, 0);
        const NET_FRAME_HEADER h = MakeHeader(desc, static_cast<uint32_t>(payload.size()));
        Append(body, &h, sizeof h);
        Append(body, payload.data(), payload.size());
    }
    FrameSpec bundle;
    bundle.timeSec = 0;
    bundle.timeExtra = 0;
    bundle.frameNo = countOverride ? countOverride : static_cast<uint32_t>(members.size());
    return FrameUnit(bundle, body);
}
