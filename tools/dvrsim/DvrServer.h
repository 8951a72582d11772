// The DVR side of the protocol: accepts connections, answers logins from the configured accounts
// and logs every record it receives. One thread accepts; each connection has a thread of its own.
#pragma once

#include <atomic>
#include <thread>

#include "tools/dvrsim/CommandLog.h"
#include "tools/dvrsim/SimConfig.h"

class DvrServer {
  public:
    DvrServer(const SimConfig& config, CommandLog& log);
    // Binds and starts accepting; returns the port bound, or -1.
    int start();

  private:
    void acceptLoop();
    void serve(int fd);
    // Answers one login; returns whether the session goes on.
    bool answerLogin(int fd, const NET_LOGIN_INFO& info, bool& loggedIn, bool& superuser);

    const SimConfig& config_;
    CommandLog& log_;
    int listenFd_ = -1;
    std::atomic<int> usersOnline_{0};
    std::atomic<int> superusersOnline_{0};
};
