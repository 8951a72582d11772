#include "tools/dvrsim/DvrServer.h"

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "connection/FixedText.h"
#include "tools/dvrsim/SimSocket.h"

namespace {
// A small receive buffer makes a client that keeps sending to a DVR that stopped reading fill
// its socket quickly.
constexpr int kStopReadingRcvBuf = 4096;
}  // namespace

DvrServer::DvrServer(const SimConfig& config, CommandLog& log) : config_(config), log_(log) {}

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

bool DvrServer::answerLogin(int fd, const NET_LOGIN_INFO& info, bool& loggedIn, bool& superuser) {
    const SimAccount* account = nullptr;
    for (const auto& a : config_.accounts) {
        if (a.user == TextOf(info.user) && a.pass == TextOf(info.pass)) {
            account = &a;
        }
    }
    NET_COMMAND reply{};
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
        loggedIn = true;
        superuser = account->mode == kSuperUserMode;
        usersOnline_.fetch_add(1);
        if (superuser) {
            superusersOnline_.fetch_add(1);
        }
    }
    log_.line(std::string(loggedIn ? "LOGIN-OK" : "LOGIN-REFUSED"));
    return WriteFully(fd, &reply, sizeof reply) && loggedIn;
}

void DvrServer::serve(int fd) {
    bool loggedIn = false;
    bool superuser = false;
    NET_COMMAND c;
    while (ReadFully(fd, &c, sizeof c)) {
        log_.command(c);
        if (c.iCmd != NET_LOGIN) {
            continue;  // other commands are logged; streaming answers come later
        }
        NET_LOGIN_INFO info{};
        if (!ReadFully(fd, &info, sizeof info)) {
            break;
        }
        log_.login(info);
        if (config_.closeOnLogin) {
            break;
        }
        if (config_.silent || loggedIn) {
            continue;
        }
        if (!answerLogin(fd, info, loggedIn, superuser)) {
            break;
        }
        if (config_.stopReading) {
            // Keep the connection open and never read again.
            for (;;) {
                std::this_thread::sleep_for(std::chrono::hours(1));
            }
        }
    }
    log_.line("CLOSE");
    ::close(fd);
    if (loggedIn) {
        usersOnline_.fetch_sub(1);
        if (superuser) {
            superusersOnline_.fetch_sub(1);
        }
    }
}
