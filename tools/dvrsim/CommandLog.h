// The simulator's record log: one line per record received, flushed at once so that a test can
// read it while the simulator runs. Thread-safe.
//   CMD <iCmd> <iParam1> <iParam2> <iParam3> <iParam4> <hex of the 20 bytes>
//   LOGIN <user> <pass> <hex of the 20 bytes>
//   LOOKUP <identifier>
// and what the session did about them:
//   LOGIN-OK, LOGIN-REFUSED, CLOSE
//   STREAM mask=0x<8 hex digits> fps=<n>   live view (re)started; the mask is the channels streamed
//   KEYFRAME                               a key-frame request honoured
//   FAULT <kind>                           a --fault acted out
//   ERROR <text>                           the session could not stream
//   DISKS n=<count>                        a disk-information request answered with count disks
//   SEARCH key=<k> page=<p> pages=<n> entries=<m>
//                                          a record search of date key k, page p answered: the
//                                          day's result has n pages, the answer m entries
//   PLAY start=<s> end=<e> mask=0x<8 hex digits> fast=<0|1> state=<9|8> reason=<r>
//                                          a NET_PLAY_FILE answered: s and e as asked (seconds of
//                                          the day), the mask as asked, state 9 started or 8
//                                          refused for reason r (0 when started)
//   PLAY-STOP                              a NET_STOP_PLAY_FILE
#pragma once

#include <cstddef>
#include <cstdio>
#include <mutex>
#include <string>

#include "core/wire/WireFormats.h"

class CommandLog {
  public:
    explicit CommandLog(const std::string& path);  // empty path: log nothing
    ~CommandLog();
    CommandLog(const CommandLog&) = delete;
    CommandLog& operator=(const CommandLog&) = delete;

    void Command(const NET_COMMAND& c);
    void Login(const NET_LOGIN_INFO& info);
    void Line(const std::string& text);

  private:
    std::mutex lock_;
    std::FILE* file_ = nullptr;
};

std::string HexBytes(const void* data, std::size_t n);
