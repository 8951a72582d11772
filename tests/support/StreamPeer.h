// A DVR played by the test: one end of a socket pair is attached to a control block as its
// logged-in connection, and the test writes the DVR's bytes into the other end. The receive code
// runs exactly as it does on a TCP connection.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/net/NetCtrl.h"
#include "core/wire/WireFormats.h"

class StreamPeer {
  public:
    // Attaches a fresh socket pair to `block` and marks it logged in for live view.
    explicit StreamPeer(NetCtrl_Struct& block);
    ~StreamPeer();
    StreamPeer(const StreamPeer&) = delete;
    StreamPeer& operator=(const StreamPeer&) = delete;

    // Queues bytes to send; a writer thread sends them in order, so the test may queue more than
    // the socket buffer holds before the client reads.
    void Send(const std::vector<uint8_t>& bytes);
    // Waits until everything queued so far was taken by the client's socket.
    void Flush();
    // Closes the DVR's end (after the queued bytes went out).
    void Close();
    // The command records the client has sent to this DVR so far (reads what is waiting).
    std::vector<NET_COMMAND> ReceivedCommands();

  private:
    void Writer();

    int fd_ = -1;
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<uint8_t> pending_;
    bool closing_ = false;
    bool writing_ = false;
    std::thread thread_;
    std::vector<uint8_t> received_;
};

// Builders for what a DVR sends.
struct FrameSpec {
    int32_t channel = 0;
    uint32_t frameNo = 0;
    char type = 'V';
    int8_t videoStandard = 0;
    int8_t imageSize = 2;  // 352x288
    uint32_t seqReset = 0;
    uint32_t timeSec = 1000;
    uint32_t timeExtra = 1;
};
NET_FRAME_HEADER MakeHeader(const FrameSpec& desc, uint32_t dataLen);
// NET_FRAME_DATA record + header + payload.
std::vector<uint8_t> FrameUnit(const FrameSpec& desc, const std::vector<uint8_t>& payload);
// A bundle of members: each member's header and payload, the next at a multiple of 4.
std::vector<uint8_t> BundleUnit(
    const std::vector<std::pair<FrameSpec, std::vector<uint8_t>>>& members,
    uint32_t countOverride = 0);
std::vector<uint8_t> CommandUnit(const NET_COMMAND& c, const std::vector<uint8_t>& payload = {});
