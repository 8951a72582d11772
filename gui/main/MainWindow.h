// The main window: the DVR label, the DVR tree and the PTZ panel on the left, the video area with
// its split buttons and the capture button on the right. It owns the window-system port the
// controller talks to, the tree's model and its icons, and runs the controller's 1-second status
// timer.
//
// Lifetime: create the window, then the controller on uiPort(), then start(). At the end, stop()
// (after the event loop returned) releases every DVR thread waiting for the window and stops
// the DVR threads; then destroy the controller, then the window.
//
// Threads: GUI thread only; other threads reach the window through uiPort().
#pragma once

#include <QList>
#include <QMainWindow>
#include <QRect>
#include <QTimer>

#include <memory>

#include "gui/main/ViewStore.h"
#include "gui/main/ViewTour.h"
#include "gui/main/video/PaneCaptions.h"
#include "gui/support/CoreContext.h"
#include "gui/support/GuiDispatcher.h"
#include "gui/tree/NodeIcons.h"

class DvrTreeModel;
class LiveRecorder;
class ImageAndTextCell;
class NetPlayBackPort;
class OutlineViewCon;
class PtzPanel;
class QAction;
class QLabel;
class QPushButton;
class Shortcuts;
class VideoView;
class ViewsDialog;
class QtUiPort;
class UiPort;
class ViewController;

class MainWindow : public QMainWindow {
    Q_OBJECT

  public:
    static constexpr int kStatusIntervalMs = 1000;

    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    UiPort& uiPort();

    // The start-up sequence, once: pane buffers, the video surface and its 36-pane grid, the
    // status timer, the tree and the saved list (which fills it), the current DVR, the PTZ
    // buttons' codes, the button colours, the PTZ lists.
    void Start(ViewController& vc);
    // The end of the run: the status timer stops, a held PTZ button sends its release, every DVR
    // thread waiting for the window is released (and later calls return at once), then the DVR
    // threads are stopped and joined. Afterwards the window no longer reaches the controller.
    // Nothing is written. Idempotent; not from inside a message box.
    void Stop();

    // The full-screen wall: the video surface alone on its screen (F11 toggles, Escape leaves);
    // the pane layout follows the new size. Leaving restores the window as it was.
    void setWallMode(bool on);
    bool wallMode() const { return wall_; }
    QAction* fullScreenAction() const { return fullScreenAction_; }
    // Every keyboard command of the window, each with its own shortcut, in the sheet's order.
    const QList<QAction*>& keyboardActions() const;
    // The sheet of keyboard shortcuts (F1): made on first use, listing keyboardActions().
    void ShowShortcutSheet();

    // Named views and tours. The view shown now, under `name`; recalling one shows its DVR (or
    // the all-DVR view with its panes), split and page as the operator would.
    ViewStore& views() { return views_; }
    SavedView CurrentView(const QString& name) const;
    bool RecallView(const QString& name);
    // "Save view...": asks for a name and saves the view shown now under it.
    void SaveViewAs();
    // "Views...": the list to recall, rename or delete views and to start or stop the tour.
    void ShowViews();
    // Recalls the views one after another every `seconds`; operator input pauses it for 10 s.
    void StartTour(int seconds) { tour_.Start(seconds); }
    void StopTour() { tour_.Stop(); }
    bool touring() const { return tour_.touring(); }
    ViewTour& tour() { return tour_; }  // F5 and the views dialog start and stop it
    LiveRecorder& liveRecorder() { return *liveRecorder_; }  // Ctrl+Shift+R and the video's menu

    // The capture button: the surface's snapshot, saved where the operator chooses.
    void doSomethingForCapture();

    // The controller's window operations behind "NewIP" and "Property".
    void ShowWindowAddUser();
    void ShowWindowProperty();

    // The split buttons above 36 panes, as the controller asks through the video surface (the
    // DisplayPort).
    void EnableLargeSplits(bool enabled);

    // The split counts of the ten split buttons, in their order.
    static constexpr int kSplits[] = {4, 9, 16, 25, 36, 49, 64, 81, 100, 256};
    QPushButton* splitButton(int split) const;
    // "page P of N" beside the split buttons.
    QLabel* pageLabel() const { return pageLabel_; }
    VideoView* videoView() const { return videoViewController_; }
    PtzPanel* ptzPanel() const { return ptzPanel_; }
    QPushButton* captureButton() const { return buttonCapture_; }

    OutlineViewCon* outlineView() const { return myOutlineView_; }
    DvrTreeModel* treeModel() const { return treeModel_; }
    QLabel* dvrLabel() const { return TextDvr_; }
    const NodeIcons& icons() const { return icons_; }
    const QTimer& statusTimer() const { return timer_; }
    // The panes' titles and stream figures (T and I).
    PaneCaptions& paneCaptions() { return captions_; }
    // The playback window's port; the window itself is made on first use.
    NetPlayBackPort* playbackPort() const { return playbackPort_.get(); }

  Q_SIGNALS:
    // The saved views or the tour changed (the views dialog follows).
    void viewsChanged();

  protected:
    void closeEvent(QCloseEvent* event) override;
    // The PTZ keys: Ctrl+arrows and Ctrl+plus/minus hold the panel's buttons while down.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    ViewController* controller() const { return context_.controller(); }
    // The split buttons and the page label follow the layout shown.
    void ShowSplit();

    // Declared first: the ports and widgets below use them until they go.
    GuiDispatcher dispatcher_;
    CoreContext context_;
    NodeIcons icons_;
    DvrTreeModel* treeModel_;
    OutlineViewCon* myOutlineView_;
    ImageAndTextCell* nameCell_;
    QLabel* TextDvr_;
    VideoView* videoViewController_;
    QPushButton* splitButtons_[10] = {};
    QPushButton* buttonCapture_;
    QLabel* pageLabel_;
    PtzPanel* ptzPanel_;
    QTimer timer_;
    class QSplitter* splitter_;
    QWidget* leftPanel_;
    QWidget* splitBar_;
    QAction* fullScreenAction_;
    QAction* leaveFullScreenAction_;
    std::unique_ptr<Shortcuts> shortcuts_;
    std::unique_ptr<LiveRecorder> liveRecorder_;
    PaneCaptions captions_;
    ViewStore views_;
    ViewTour tour_;                          // reads views_
    ViewsDialog* viewsDialog_ = nullptr;     // a child of the window, made on first use
    class NSButtonEx* heldByKey_ = nullptr;  // the PTZ button a key holds now
    bool wall_ = false;
    bool wasMaximized_ = false;
    QRect normalPlace_;  // where the window was before the wall
    std::unique_ptr<QtUiPort> port_;
    std::unique_ptr<NetPlayBackPort> playbackPort_;
    bool stopped_ = false;
};
