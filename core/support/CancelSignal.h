// A one-way signal that ends every wait for a peer at once: raised when the DVR threads must stop
// (the end of the run). Waits poll its descriptor beside their own, so a raise wakes them all.
//
// Threads: any thread may raise it or look at it; the descriptor lives as long as the object.
#pragma once

#include <chrono>

class CancelSignal {
  public:
    CancelSignal();
    ~CancelSignal();
    CancelSignal(const CancelSignal&) = delete;
    CancelSignal& operator=(const CancelSignal&) = delete;

    // The eventfd to poll beside a wait (readable once raised); -1 when none could be made, in
    // which case waits end only by their own limits.
    int fd() const { return fd_; }
    void Raise();
    bool raised() const;
    // Sleeps for `d` unless the signal is raised first; false when it was.
    bool Pause(std::chrono::milliseconds d) const;

  private:
    const int fd_;
};
