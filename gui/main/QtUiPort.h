// The window-system port on Qt: what the core asks of the window, run on the GUI thread.
//
// Threads: the UiPort methods may be called from any thread where UiPort says so. A call from
// another thread is carried to the GUI thread: messageBox, confirm and appendNode wait for it
// there; setNodeTitle, reloadTree and setDvrLabel are posted and return at once. Once closing
// has begun, every call from another thread returns at once without touching the GUI, so the
// GUI thread can stop and join the DVR threads without waiting for them. The other methods are
// GUI-thread only. The widgets it works on belong to the main window, which owns this port.
//
// Work for the GUI thread goes into a queue under a std::mutex; a queued typed signal only wakes
// the GUI thread to run it, and a waiting caller sleeps on a condition variable until its own
// work has run. Qt is not built with ThreadSanitizer, so work handed over inside a Qt event would
// look like a race between the two threads; the mutex is a hand-over the sanitizer can see. The
// condition variable also lets the GUI thread release every waiting caller at the end of the run
// without delivering any event.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "core/ports/UiPort.h"

class DvrTreeModel;
class OutlineViewCon;
class QLabel;
class QMessageBox;

class QtUiPort : public QObject, public UiPort {
    Q_OBJECT

  public:
    // GUI thread. `window` is the parent of the message boxes.
    QtUiPort(QWidget& window, DvrTreeModel& model, OutlineViewCon& view, QLabel& dvrLabel);
    ~QtUiPort() override;

    // ---- UiPort -----------------------------------------------------------------------------
    void messageBox(const std::optional<std::string>& heading, const std::string& text) override;
    void setNodeTitle(int dvr, const std::string& title) override;
    void reloadTree() override;
    bool confirm(const std::string& message, const std::string& informative) override;
    void appendNode(const std::string& title) override;
    void removeNode(int index) override;
    int selectedDvr() override;
    void clearSelection() override;
    void setDvrLabel(const std::string& text) override;

    // ---- The end of the run (GUI thread) -------------------------------------------------------
    // From now on calls from other threads return at once, work they handed over is dropped
    // and open boxes are dismissed.
    void beginClosing();
    // Begins closing and returns once no other thread waits for this port any more; then the
    // DVR threads can be joined. Not from inside a box or other work of this port.
    void releaseWaitingThreads();
    bool isClosing() const;

  Q_SIGNALS:
    // Emitted by other threads after queueing work; queued to the GUI thread.
    void workQueued();

  private:
    struct Work {
        std::function<void()> fn;
        bool* finished = nullptr;  // the waiting caller's flag, null for posted work; under gate_
    };

    // Runs fn on the GUI thread: directly when called there, otherwise queued, waiting until it
    // has run. False (fn not run) once closing has begun.
    bool runOnGuiThreadAndWait(const std::function<void()>& fn);
    // Posts fn to the GUI thread without waiting; dropped once closing has begun.
    void post(std::function<void()> fn);
    // GUI thread: runs the queued work in order.
    void runQueuedWork();
    bool onGuiThread() const;
    // A modal warning box; GUI thread.
    void showBox(const std::optional<std::string>& heading, const std::string& text);
    bool askOkCancel(const std::string& message, const std::string& informative);
    // Runs a box modally unless closing; it is dismissed when closing begins meanwhile.
    int runBox(QMessageBox& box);

    QPointer<QWidget> window_;
    QPointer<DvrTreeModel> model_;
    QPointer<OutlineViewCon> view_;
    QPointer<QLabel> dvrLabel_;

    // Guards closing_, waiting_, queue_ and the finished flags for every thread.
    mutable std::mutex gate_;
    std::condition_variable workDone_;  // a finished flag was set, or waiting_ went down
    bool closing_ = false;
    int waiting_ = 0;  // threads inside runOnGuiThreadAndWait
    std::deque<Work> queue_;

    QList<QPointer<QMessageBox>> openBoxes_;  // GUI thread
};
