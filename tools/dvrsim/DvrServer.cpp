#include "tools/dvrsim/DvrServer.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "core/support/FixedText.h"
#include "tools/dvrsim/SimSocket.h"

namespace {
// A small receive buffer makes a client that keeps sending to a DVR that stopped reading fill
// its socket quickly.
constexpr int kStopReadingRcvBuf = 4096;

// INFO_PLAY_STATE answers.
constexpr int32_t kPlayStarted = 9;
constexpr int32_t kPlayRefused = 8;
constexpr int32_t kNoRecordingThere = 17;  // reason: nothing recorded at the asked time
constexpr int32_t kFastSpeed = 8;          // played seconds per real second in fast forward

template <typename T>
void AppendBytes(std::vector<uint8_t>& out, const T& record) {
    const auto* p = reinterpret_cast<const uint8_t*>(&record);
    out.insert(out.end(), p, p + sizeof record);
}

}  // namespace

DvrServer::DvrServer(const SimConfig& config, CommandLog& log)
    : config_(config),
      log_(log),
      recorder_(config.stream.recordDir),
      schedules_(config.recording) {}

int DvrServer::Start() {
    int port = 0;
    listenFd_ = ListenOn(*config_.listenHost, config_.listenPort, port,
                         config_.stopReading ? kStopReadingRcvBuf : 0);
    if (listenFd_ < 0) {
        return -1;
    }
    std::thread([this] { AcceptLoop(); }).detach();
    return port;
}

void DvrServer::AcceptLoop() {
    for (;;) {
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        std::thread([this, fd] { Serve(fd); }).detach();
    }
}

const SimAccount* DvrServer::AnswerLogin(SessionSocket& socket, const NET_LOGIN_INFO& info,
                                         bool& sent) {
    const SimAccount* account = nullptr;
    for (const auto& a : config_.accounts) {
        if (a.user == TextOf(info.user) && a.pass == TextOf(info.pass)) {
            account = &a;
        }
    }
    NET_COMMAND reply{};
    const SimAccount* loggedIn = nullptr;
    if (usersOnline_.load() >= config_.maxUsers) {
        // Refused for too many users; the record also says BAD_USER_PASS, which must not win.
        reply = MakeCommand(NET_TOO_MUCH_USERS, BAD_USER_PASS);
    } else if (!account) {
        reply = MakeCommand(0, BAD_USER_PASS, 0);
    } else if (account->mode == kSuperUserMode &&
               (config_.superOnline || superusersOnline_.load() > 0)) {
        reply = MakeCommand(0, BAD_USER_PASS, 2);
    } else {
        reply = MakeCommand(NET_LOGIN, 0, account->mode, 0, account->channels);
        loggedIn = account;
        usersOnline_.fetch_add(1);
        if (account->mode == kSuperUserMode) {
            superusersOnline_.fetch_add(1);
        }
    }
    log_.Line(std::string(loggedIn ? "LOGIN-OK" : "LOGIN-REFUSED"));
    sent = socket.SendWhole(&reply, sizeof reply);
    return loggedIn;
}

void DvrServer::SessionCommand(const NET_COMMAND& c, Session& session) {
    switch (c.iCmd) {
        case NET_SET_STREAM: session.fps = LiveStreamer::FrameRate(c.iParam2); break;
        case NET_LIVE_VIEW:
            session.streamer.Start(static_cast<uint32_t>(c.iParam3), session.fps);
            break;
        case NET_STOP_LIVE_VIEW: session.streamer.Stop(); break;
        case NET_KEY_FRAME: session.streamer.RequestKeyFrame(); break;
        case NET_OTHER_INFO:
            if (c.iParam1 == INFO_DISK) {
                AnswerDisks(session);
            }
            break;
        case NET_SEARCH_RECORD: AnswerSearch(c, session); break;
        case NET_PLAY_FILE: AnswerPlay(c, session); break;
        case NET_STOP_PLAY_FILE:
            log_.Line("PLAY-STOP");
            session.streamer.StopPlay();
            break;
        default: break;
    }
}

void DvrServer::DelayReply() const {
    if (config_.recording.replyDelayMillis > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(config_.recording.replyDelayMillis));
    }
}

void DvrServer::AnswerDisks(Session& session) {
    DelayReply();
    const std::vector<NET_SEND_INFO> disks = schedules_.Current()->Disks();
    std::vector<uint8_t> reply;
    AppendBytes(reply, MakeCommand(NET_OTHER_INFO, INFO_DISK, static_cast<int32_t>(disks.size())));
    for (const NET_SEND_INFO& d : disks) {
        AppendBytes(reply, d);
    }
    log_.Line("DISKS n=" + std::to_string(disks.size()));
    session.socket.SendWhole(reply.data(), reply.size());
}

void DvrServer::AnswerSearch(const NET_COMMAND& c, Session& session) {
    DelayReply();
    const int32_t key = c.iParam4;
    const int32_t page = c.iParam2;
    const RecordingConfig& rec = config_.recording;
    if (rec.slowSearchFromPage >= 0 && page >= rec.slowSearchFromPage) {
        std::this_thread::sleep_for(std::chrono::milliseconds(rec.slowSearchMillis));
    }
    const std::optional<CivilDate> date = DateOfKey(key);
    // A later NET_PLAY_FILE plays this day, even when it names none.
    session.searched = true;
    session.searchedDay = date ? std::optional<int64_t>(DayStart(*date)) : std::nullopt;
    const SearchResult result =
        date ? schedules_.Current()->Search(*session.searchedDay, page) : SearchResult{};
    const auto bytes = static_cast<int32_t>(result.entries.size() * sizeof(GST_FILESHOWINFO));
    std::vector<uint8_t> reply;
    AppendBytes(reply, MakeCommand(NET_OTHER_INFO, INFO_RECORD_LIST, result.pages, bytes));
    for (const RecordedFile& f : result.entries) {
        AppendBytes(reply, FileShowInfo(f, config_.stream.videoStandard, config_.stream.imageSize));
    }
    log_.Line("SEARCH key=" + std::to_string(key) + " page=" + std::to_string(page) + " pages=" +
              std::to_string(result.pages) + " entries=" + std::to_string(result.entries.size()));
    session.socket.SendWhole(reply.data(), reply.size());
}

void DvrServer::AnswerPlay(const NET_COMMAND& c, Session& session) {
    DelayReply();
    const auto asked = static_cast<uint32_t>(c.iParam3);
    const bool fast = c.iParam2 == 1;
    const int32_t start = c.iParam4;
    const int64_t end = std::min<int64_t>(c.iParam1, kSecondsPerDay);
    const std::shared_ptr<const RecordingSchedule> schedule = schedules_.Current();
    const std::optional<int64_t> day =
        session.searched ? session.searchedDay : DayStart(schedule->today());
    const uint32_t mask = asked & session.streamer.channelMask();
    int32_t state = kPlayStarted;
    int32_t reason = 0;
    if (config_.recording.playRefuse) {
        state = kPlayRefused;
        reason = *config_.recording.playRefuse;
    } else if (!day || start < 0 || start >= end || schedule->RecordedAt(*day + start, mask) == 0) {
        state = kPlayRefused;
        reason = kNoRecordingThere;
    }
    if (state == kPlayStarted) {
        // No frame of the live view or playback before may follow the answer.
        session.streamer.Halt();
    }
    char text[128];
    std::snprintf(text, sizeof text, "PLAY start=%d end=%d mask=0x%08x fast=%d state=%d reason=%d",
                  start, c.iParam1, asked, fast ? 1 : 0, state, reason);
    log_.Line(text);
    const NET_COMMAND reply = MakeCommand(NET_OTHER_INFO, INFO_PLAY_STATE, state, reason);
    if (session.socket.SendWhole(&reply, sizeof reply) && state == kPlayStarted) {
        session.streamer.Play(PlaybackRequest{schedule, mask, *day + start, *day + end,
                                              fast ? kFastSpeed : 1, session.fps});
    }
}

void DvrServer::Serve(int fd) {
    SessionSocket socket(fd, config_.stream.trickleMicros);
    const SimAccount* account = nullptr;
    std::unique_ptr<LiveStreamer> streamer;
    std::optional<Session> session;
    NET_COMMAND c;
    while (ReadFully(fd, &c, sizeof c)) {
        log_.Command(c);
        if (c.iCmd != NET_LOGIN) {
            if (session) {
                SessionCommand(c, *session);
            }
            continue;
        }
        NET_LOGIN_INFO info{};
        if (!ReadFully(fd, &info, sizeof info)) {
            break;
        }
        log_.Login(info);
        if (config_.closeOnLogin) {
            break;
        }
        if (config_.silent || account) {
            continue;
        }
        bool sent = false;
        account = AnswerLogin(socket, info, sent);
        if (!sent || !account) {
            break;
        }
        if (config_.stopReading) {
            // Keep the connection open and never read again.
            for (;;) {
                std::this_thread::sleep_for(std::chrono::hours(1));
            }
        }
        streamer = std::make_unique<LiveStreamer>(config_.stream, log_, socket, recorder_,
                                                  account->channels);
        session.emplace(
            Session{socket, *streamer, LiveStreamer::FrameRate(0), false, std::nullopt});
    }
    // Counted out before the peer can see the end, so that it may log in again at once.
    if (account) {
        usersOnline_.fetch_sub(1);
        if (account->mode == kSuperUserMode) {
            superusersOnline_.fetch_sub(1);
        }
    }
    session.reset();
    if (streamer) {
        // Release a send blocked on a peer that stopped reading, then wait for the streamer.
        socket.Shutdown();
        streamer.reset();
    }
    log_.Line("CLOSE");
}
