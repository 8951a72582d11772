// A DVR played step by step by the test over loopback TCP: it listens, and the test takes each
// connection, reads what the client sent on it and answers when it chooses.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "core/wire/WireFormats.h"

class ScriptedDvr {
  public:
    ScriptedDvr();
    ~ScriptedDvr();
    ScriptedDvr(const ScriptedDvr&) = delete;
    ScriptedDvr& operator=(const ScriptedDvr&) = delete;
    int port() const { return port_; }

    // One connection the client made; closed with the peer.
    class Connection {
      public:
        explicit Connection(int fd = -1) : fd_(fd) {}
        ~Connection();
        Connection(Connection&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
        Connection& operator=(Connection&& other) noexcept;
        bool valid() const { return fd_ >= 0; }
        // The client's port of this connection.
        int ClientPort() const;
        // Reads a login (the command and its user record); false when it does not come in time.
        bool ReadLogin(std::chrono::milliseconds limit = std::chrono::seconds(5));
        // Accepts the login as a DVR of `channels` channels would, for a user of `mode`.
        bool AcceptLogin(int32_t mode, int32_t channels);
        // The command records the client sends until it closes the connection or `limit`
        // passes; `closed` tells which.
        std::vector<NET_COMMAND> CommandsUntilClosed(std::chrono::milliseconds limit, bool& closed);
        // Whether the client closes the connection within `limit` without sending anything more.
        bool ClosedWithNothingMore(std::chrono::milliseconds limit) {
            bool closed = false;
            return CommandsUntilClosed(limit, closed).empty() && closed;
        }

      private:
        int fd_;
    };

    // The next connection, or an invalid one when none comes within `limit`.
    Connection Accept(std::chrono::milliseconds limit = std::chrono::seconds(5));
    // The next connection once its login has been read; an invalid one when either does not come.
    Connection AcceptLogin() {
        Connection c = Accept();
        return c.valid() && c.ReadLogin() ? std::move(c) : Connection{};
    }

  private:
    int listenFd_ = -1;
    int port_ = 0;
};
