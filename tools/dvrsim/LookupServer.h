// The lookup server: answers REQ_DVR_IP requests from a table of identifiers.
#pragma once

#include <thread>

#include "tools/dvrsim/CommandLog.h"
#include "tools/dvrsim/SimConfig.h"

class LookupServer {
  public:
    LookupServer(const SimConfig& config, CommandLog& log);
    int Start();  // the port bound, or -1

  private:
    void AcceptLoop();
    void Serve(int fd);

    const SimConfig& config_;
    CommandLog& log_;
    int listenFd_ = -1;
};
