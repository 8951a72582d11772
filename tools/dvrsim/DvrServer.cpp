#include "tools/dvrsim/DvrServer.h"

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>

#include "connection/FixedText.h"
#include "tools/dvrsim/SimSocket.h"

namespace {
// A small receive buffer makes a client that keeps sending to a DVR that stopped reading fill
// its socket quickly.
constexpr int kStopReadingRcvBuf = 4096;
}  // namespace

DvrServer::DvrServer(const SimConfig& config, CommandLog& log)
    : config_(config), log_(log), recorder_(config.stream.recordDir) {}

int DvrServer::start() {
    int port = 0;
    listenFd_ = ListenOn(*config_.listenHost, config_.listenPort, port,
                         config_.stopReading ? kStopReadingRcvBuf : 0);
    if (listenFd_ < 0) {
        return -1;
    }
    std::thread([this] { acceptLoop(); }).detach();
    return port;
}

void DvrServer::acceptLoop() {
    for (;;) {
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        std::thread([this, fd] { serve(fd); }).detach();
    }
}

const SimAccount* DvrServer::answerLogin(SessionSocket& socket, const NET_LOGIN_INFO& info,
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
    log_.line(std::string(loggedIn ? "LOGIN-OK" : "LOGIN-REFUSED"));
    sent = socket.sendWhole(&reply, sizeof reply);
    return loggedIn;
}

void DvrServer::streamCommand(const NET_COMMAND& c, LiveStreamer& streamer, int& fps) {
    switch (c.iCmd) {
        case NET_SET_STREAM: fps = LiveStreamer::FrameRate(c.iParam2); break;
        case NET_LIVE_VIEW: streamer.start(static_cast<uint32_t>(c.iParam3), fps); break;
        case NET_STOP_LIVE_VIEW: streamer.stop(); break;
        case NET_KEY_FRAME: streamer.requestKeyFrame(); break;
        default: break;
    }
}

void DvrServer::serve(int fd) {
    SessionSocket socket(fd, config_.stream.trickleMicros);
    const SimAccount* account = nullptr;
    std::unique_ptr<LiveStreamer> streamer;
    int fps = LiveStreamer::FrameRate(0);
    NET_COMMAND c;
    while (ReadFully(fd, &c, sizeof c)) {
        log_.command(c);
        if (c.iCmd != NET_LOGIN) {
            if (streamer) {
                streamCommand(c, *streamer, fps);
            }
            continue;
        }
        NET_LOGIN_INFO info{};
        if (!ReadFully(fd, &info, sizeof info)) {
            break;
        }
        log_.login(info);
        if (config_.closeOnLogin) {
            break;
        }
        if (config_.silent || account) {
            continue;
        }
        bool sent = false;
        account = answerLogin(socket, info, sent);
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
    }
    // Counted out before the peer can see the end, so that it may log in again at once.
    if (account) {
        usersOnline_.fetch_sub(1);
        if (account->mode == kSuperUserMode) {
            superusersOnline_.fetch_sub(1);
        }
    }
    if (streamer) {
        // Release a send blocked on a peer that stopped reading, then wait for the streamer.
        socket.shutdown();
        streamer.reset();
    }
    log_.line("CLOSE");
}
