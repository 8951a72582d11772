// The one way other threads reach the GUI thread: work is queued under a std::mutex and a queued
// typed signal only wakes the GUI thread to run it. A caller that must wait sleeps on a condition
// variable until its own work has run. Qt is not built with ThreadSanitizer, so work handed over
// inside a Qt event would look like a race between the two threads; the mutex is a hand-over the
// sanitizer can see. The condition variable also lets the GUI thread release every waiting caller
// at the end of the run without delivering any event.
//
// Threads: post, RunAndWait and isClosing from any thread; BeginClosing and
// ReleaseWaitingThreads on the GUI thread. Once closing has begun, work from other threads is
// dropped and waiting callers return at once, so the GUI thread can join the DVR threads.
#pragma once

#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

class GuiDispatcher : public QObject {
    Q_OBJECT

  public:
    GuiDispatcher();
    ~GuiDispatcher() override;

    bool onGuiThread() const;
    // Runs fn on the GUI thread: directly when called there, otherwise queued, returning once it
    // has run. False (fn not run) once closing has begun.
    bool RunAndWait(const std::function<void()>& fn);
    // Queues fn for the GUI thread without waiting; dropped once closing has begun.
    void Post(std::function<void()> fn);

    // From now on work from other threads is dropped and waiting callers return.
    void BeginClosing();
    // Begins closing and returns once no other thread waits here any more. Not from inside work
    // of this dispatcher.
    void ReleaseWaitingThreads();
    bool isClosing() const;

  Q_SIGNALS:
    // Emitted by other threads after queueing work; queued to the GUI thread.
    void workQueued();

  private:
    struct Work {
        std::function<void()> fn;
        bool* finished = nullptr;  // the waiting caller's flag, null for posted work; under gate_
    };
    void RunQueuedWork();  // GUI thread

    mutable std::mutex gate_;           // guards closing_, waiting_, queue_ and the finished flags
    std::condition_variable workDone_;  // a finished flag was set, or waiting_ went down
    bool closing_ = false;
    int waiting_ = 0;  // threads inside RunAndWait
    std::deque<Work> queue_;
};
