// A loopback listener that never accepts and whose accept queue is full, so that a further
// connect to it neither completes nor fails: a peer that does not answer, without leaving
// 127.0.0.0/8.
#pragma once

#include <string>
#include <vector>

class FullBacklogListener {
  public:
    explicit FullBacklogListener(const std::string& host, int port = 0);
    ~FullBacklogListener();
    FullBacklogListener(const FullBacklogListener&) = delete;
    FullBacklogListener& operator=(const FullBacklogListener&) = delete;
    int port() const { return port_; }

  private:
    int listenFd_ = -1;
    int port_ = 0;
    std::vector<int> fillers_;
};
