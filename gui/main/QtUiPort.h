// The window-system port on Qt: what the core asks of the window, run on the GUI thread.
//
// Threads: the UiPort methods may be called from any thread where UiPort says so. A call from
// another thread is carried to the GUI thread by the window's GuiDispatcher: MessageBox, Confirm
// and AppendNode wait for it there; SetNodeTitle, ReloadTree and SetDvrLabel are posted and
// return at once. Once closing has begun, every call from another thread returns at once without
// touching the GUI, so the GUI thread can stop and join the DVR threads without waiting for them.
// The other methods are GUI-thread only. The widgets it works on belong to the main window,
// which owns this port.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

#include "core/ports/UiPort.h"

class DvrTreeModel;
class GuiDispatcher;
class OutlineViewCon;
class QLabel;
class QMessageBox;

class QtUiPort : public QObject, public UiPort {
    Q_OBJECT

  public:
    // GUI thread. `window` is the parent of the message boxes.
    QtUiPort(GuiDispatcher& dispatcher, QWidget& window, DvrTreeModel& model, OutlineViewCon& view,
             QLabel& dvrLabel);
    ~QtUiPort() override;

    // ---- UiPort -----------------------------------------------------------------------------
    void MessageBox(const std::optional<std::string>& heading, const std::string& text) override;
    void MessageBoxLater(const std::optional<std::string>& heading, const std::string& text,
                         std::function<void()> closed) override;
    void SetNodeTitle(int dvr, const std::string& title) override;
    void ReloadTree() override;
    bool Confirm(const std::string& message, const std::string& informative) override;
    void AppendNode(const std::string& title) override;
    void RemoveNode(int index) override;
    int SelectedDvr() override;
    void ClearSelection() override;
    void SetDvrLabel(const std::string& text) override;
    bool ReconnectAutomatically(int dvr) override;

    // ---- The end of the run (GUI thread) -------------------------------------------------------
    // From now on calls from other threads return at once, work they handed over is dropped
    // and open boxes are dismissed.
    void BeginClosing();
    // Begins closing and returns once no other thread waits for this port any more; then the
    // DVR threads can be joined. Not from inside a box or other work of this port.
    void ReleaseWaitingThreads();
    bool isClosing() const;

  private:
    // A modal warning box; GUI thread.
    void ShowBox(const std::optional<std::string>& heading, const std::string& text);
    bool AskOkCancel(const std::string& message, const std::string& informative);
    // Runs a box modally unless closing; it is dismissed when closing begins meanwhile.
    int RunBox(QMessageBox& box);

    QPointer<QWidget> window_;
    QPointer<DvrTreeModel> model_;
    QPointer<OutlineViewCon> view_;
    QPointer<QLabel> dvrLabel_;

    GuiDispatcher& dispatcher_;
    QList<QPointer<QMessageBox>> openBoxes_;  // GUI thread
};
