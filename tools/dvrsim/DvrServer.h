// The DVR side of the protocol: accepts connections, answers logins from the configured accounts,
// streams live video after NET_LIVE_VIEW, answers disk-information requests and record searches,
// plays recordings after NET_PLAY_FILE and logs every record it receives. One thread accepts;
// each connection has a reader thread of its own, and a streaming thread once it asks for video.
//
// Answers to disk, search and play requests go out whole like the login reply, also with
// --trickle, after --reply-delay. A NET_PLAY_FILE names no day: it plays the day of the session's
// last NET_SEARCH_RECORD, or today. It starts when a channel asked for (within the account's) has a
// recording covering the start second; otherwise it is refused with reason 17.
#pragma once

#include <atomic>
#include <optional>
#include <thread>

#include "tools/dvrsim/CommandLog.h"
#include "tools/dvrsim/FrameRecorder.h"
#include "tools/dvrsim/LiveStreamer.h"
#include "tools/dvrsim/RecordingSchedule.h"
#include "tools/dvrsim/SessionSocket.h"
#include "tools/dvrsim/SimConfig.h"

class DvrServer {
  public:
    DvrServer(const SimConfig& config, CommandLog& log);
    // Binds and starts accepting; returns the port bound, or -1.
    int Start();

  private:
    void AcceptLoop();
    void Serve(int fd);
    // Answers one login; returns the account that logged in, or null (refused: the reply is
    // sent, or the peer is gone when `sent` is false).
    const SimAccount* AnswerLogin(SessionSocket& socket, const NET_LOGIN_INFO& info, bool& sent);
    // What a logged-in session keeps between commands.
    struct Session {
        SessionSocket& socket;
        LiveStreamer& streamer;
        int fps;
        bool searched = false;
        std::optional<int64_t> searchedDay;  // midnight of the day last searched, if a real date
    };
    // A command after the login: the streaming ones drive the streamer, requests are answered,
    // the rest are only logged.
    void SessionCommand(const NET_COMMAND& c, Session& session);
    void AnswerDisks(Session& session);
    void AnswerSearch(const NET_COMMAND& c, Session& session);
    void AnswerPlay(const NET_COMMAND& c, Session& session);
    void DelayReply() const;

    const SimConfig& config_;
    CommandLog& log_;
    FrameRecorder recorder_;
    ScheduleSource schedules_;
    int listenFd_ = -1;
    std::atomic<int> usersOnline_{0};
    std::atomic<int> superusersOnline_{0};
};
