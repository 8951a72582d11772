// The DVR side of the protocol: accepts connections, answers logins from the configured accounts,
// streams live video after NET_LIVE_VIEW and logs every record it receives. One thread accepts;
// each connection has a reader thread of its own, and a streaming thread once it asks for video.
#pragma once

#include <atomic>
#include <thread>

#include "tools/dvrsim/CommandLog.h"
#include "tools/dvrsim/FrameRecorder.h"
#include "tools/dvrsim/LiveStreamer.h"
#include "tools/dvrsim/SessionSocket.h"
#include "tools/dvrsim/SimConfig.h"

class DvrServer {
  public:
    DvrServer(const SimConfig& config, CommandLog& log);
    // Binds and starts accepting; returns the port bound, or -1.
    int start();

  private:
    void acceptLoop();
    void serve(int fd);
    // Answers one login; returns the account that logged in, or null (refused: the reply is
    // sent, or the peer is gone when `sent` is false).
    const SimAccount* answerLogin(SessionSocket& socket, const NET_LOGIN_INFO& info, bool& sent);
    // A command after the login: the streaming ones drive the streamer, the rest are only logged.
    static void streamCommand(const NET_COMMAND& c, LiveStreamer& streamer, int& fps);

    const SimConfig& config_;
    CommandLog& log_;
    FrameRecorder recorder_;
    int listenFd_ = -1;
    std::atomic<int> usersOnline_{0};
    std::atomic<int> superusersOnline_{0};
};
