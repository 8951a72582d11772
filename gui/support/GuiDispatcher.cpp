#include "gui/support/GuiDispatcher.h"

#include <QThread>

GuiDispatcher::GuiDispatcher() {
    connect(this, &GuiDispatcher::workQueued, this, &GuiDispatcher::RunQueuedWork,
            Qt::QueuedConnection);
}

GuiDispatcher::~GuiDispatcher() {
    ReleaseWaitingThreads();
}

bool GuiDispatcher::onGuiThread() const {
    return QThread::currentThread() == thread();
}

bool GuiDispatcher::isClosing() const {
    std::lock_guard<std::mutex> g(gate_);
    return closing_;
}

bool GuiDispatcher::RunAndWait(const std::function<void()>& fn) {
    if (onGuiThread()) {
        fn();
        return true;
    }
    bool ran = false;
    bool finished = false;
    std::unique_lock<std::mutex> g(gate_);
    if (closing_) {
        return false;
    }
    ++waiting_;
    queue_.push_back(Work{[&fn, &ran] {
                              fn();
                              ran = true;
                          },
                          &finished});
    g.unlock();
    Q_EMIT workQueued();
    g.lock();
    while (!finished) {
        workDone_.wait(g);
    }
    --waiting_;
    workDone_.notify_all();
    return ran;
}

void GuiDispatcher::Post(std::function<void()> fn) {
    {
        std::lock_guard<std::mutex> g(gate_);
        if (closing_) {
            return;
        }
        queue_.push_back(Work{std::move(fn), nullptr});
    }
    Q_EMIT workQueued();
}

void GuiDispatcher::RunQueuedWork() {
    for (;;) {
        Work work;
        {
            std::lock_guard<std::mutex> g(gate_);
            if (queue_.empty()) {
                return;
            }
            work = std::move(queue_.front());
            queue_.pop_front();
        }
        // Work may open a box, whose event loop runs this again for later work: each caller
        // waits for its own work, not for the queue.
        work.fn();
        std::lock_guard<std::mutex> g(gate_);
        if (work.finished) {
            *work.finished = true;
            workDone_.notify_all();
        }
    }
}

void GuiDispatcher::BeginClosing() {
    std::lock_guard<std::mutex> g(gate_);
    closing_ = true;
    // Dropped work releases its caller at once.
    for (Work& work : queue_) {
        if (work.finished) {
            *work.finished = true;
        }
    }
    queue_.clear();
    workDone_.notify_all();
}

void GuiDispatcher::ReleaseWaitingThreads() {
    BeginClosing();
    std::unique_lock<std::mutex> g(gate_);
    while (waiting_ > 0) {
        workDone_.wait(g);
    }
}
