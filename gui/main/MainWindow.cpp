#include "gui/main/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QVBoxLayout>

#include "core/ViewController.h"
#include "core/support/Log.h"
#include "gui/dialogs/AddUserNswindowController.h"
#include "gui/dialogs/DVRProperty.h"
#include "gui/main/QtUiPort.h"
#include "gui/main/Shortcuts.h"
#include "gui/main/VideoView.h"
#include "gui/main/ViewsDialog.h"
#include "gui/main/video/LiveRecorder.h"
#include "gui/playback/NetPlayBackPort.h"
#include "gui/ptz/ButtonColour.h"
#include "gui/ptz/NSButtonEx.h"
#include "gui/ptz/PtzPanel.h"
#include "gui/support/WindowPlaces.h"
#include "gui/tree/DvrTreeModel.h"
#include "gui/tree/ImageAndTextCell.h"
#include "gui/tree/OutlineViewCon.h"

namespace {

// The split and capture buttons' dark grey.
constexpr double kDarkRed = 0.38;
constexpr double kDarkGreenBlue = 0.37;

}  // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent),
      icons_(NodeIcons::Draw()),
      tour_(views_, [this](const QString& name) { return RecallView(name); }) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Quillmarsh"));

    auto* central = new QWidget(this);
    auto* split = new QSplitter(Qt::Horizontal, central);
    splitter_ = split;

    auto* left = new QWidget(split);
    leftPanel_ = left;
    TextDvr_ = new QLabel(QStringLiteral("ALL DVR"), left);
    TextDvr_->setObjectName(QStringLiteral("TextDvr"));
    TextDvr_->setAccessibleDescription(QStringLiteral("TextDvr"));
    TextDvr_->setTextFormat(Qt::PlainText);  // display names are not markup

    treeModel_ = new DvrTreeModel(this);
    myOutlineView_ = new OutlineViewCon(context_, left);
    myOutlineView_->setModel(treeModel_);
    nameCell_ = new ImageAndTextCell(context_, myOutlineView_);
    nameCell_->setIcons(icons_);
    myOutlineView_->setItemDelegateForColumn(0, nameCell_);
    ptzPanel_ = new PtzPanel(context_, left);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(4, 4, 4, 4);
    leftLayout->addWidget(TextDvr_);
    leftLayout->addWidget(myOutlineView_, 1);
    leftLayout->addWidget(ptzPanel_);

    // The video surface with the split buttons below it.
    auto* right = new QWidget(split);
    videoViewController_ = new VideoView(context_, right);
    videoViewController_->setCaptions(&captions_);
    // Every change of the split, its page or the zoom clears the surface.
    connect(videoViewController_, &VideoView::screenCleared, this, &MainWindow::ShowSplit);
    connect(videoViewController_, &VideoView::largeSplitsEnabled, this,
            &MainWindow::EnableLargeSplits);
    splitBar_ = new QWidget(right);
    splitBar_->setObjectName(QStringLiteral("splitBar"));
    auto* buttons = new QHBoxLayout(splitBar_);
    buttons->setContentsMargins(0, 0, 0, 4);  // the full-screen wall hides it, margin and all
    for (int i = 0; i < 10; ++i) {
        const int n = kSplits[i];
        auto* b = new QPushButton(QString::number(n), splitBar_);
        b->setObjectName(QStringLiteral("button%1").arg(n));
        b->setAccessibleName(QStringLiteral("%1 panes").arg(n));
        b->setAccessibleDescription(b->objectName());
        connect(b, &QPushButton::clicked, this, [this, n] {
            if (ViewController* vc = controller()) {
                vc->doSomethingForButton(n);
            }
        });
        // The split shown looks pressed; the controller's layout decides which (ShowSplit()).
        b->setCheckable(true);
        b->setAutoExclusive(true);
        splitButtons_[i] = b;
        buttons->addWidget(b);
    }
    pageLabel_ = new QLabel(splitBar_);
    pageLabel_->setObjectName(QStringLiteral("pageLabel"));
    pageLabel_->setAccessibleDescription(pageLabel_->objectName());
    buttons->addSpacing(8);
    buttons->addWidget(pageLabel_);
    buttonCapture_ = new QPushButton(QStringLiteral("Capture"), splitBar_);
    buttonCapture_->setObjectName(QStringLiteral("buttonCapture"));
    buttonCapture_->setAccessibleName(QStringLiteral("Save snapshot"));
    buttonCapture_->setAccessibleDescription(buttonCapture_->objectName());
    connect(buttonCapture_, &QPushButton::clicked, this, &MainWindow::doSomethingForCapture);
    buttons->addSpacing(12);
    buttons->addWidget(buttonCapture_);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addWidget(videoViewController_, 1);
    rightLayout->addWidget(splitBar_);

    split->addWidget(left);
    split->addWidget(right);
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    split->setSizes({220, 800});
    auto* layout = new QHBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(split);
    setCentralWidget(central);
    resize(1024, 680);
    // The size and the split the operator left, from the last run.
    RestorePlace(*this, QStringLiteral("main"));
    RestoreSplit(*splitter_, QStringLiteral("main"));

    liveRecorder_ = std::make_unique<LiveRecorder>(context_);
    videoViewController_->setLiveRecorder(liveRecorder_.get());
    shortcuts_ = std::make_unique<Shortcuts>(*this, context_);
    fullScreenAction_ = shortcuts_->action(QStringLiteral("FullScreen"));
    leaveFullScreenAction_ = shortcuts_->action(QStringLiteral("LeaveFullScreen"));
    connect(&tour_, &ViewTour::changed, this, &MainWindow::viewsChanged);
    // Key events go to the focused widget; the PTZ keys must work wherever the focus is.
    qApp->installEventFilter(this);

    connect(myOutlineView_, &OutlineViewCon::addDvrRequested, this, &MainWindow::ShowWindowAddUser);
    connect(myOutlineView_, &OutlineViewCon::dvrDeleted, this, [this](int dvr) {
        views_.DvrRemoved(dvr);  // the views follow the list as the pane codes do
        Q_EMIT viewsChanged();
    });
    connect(myOutlineView_, &OutlineViewCon::propertyRequested, this,
            &MainWindow::ShowWindowProperty);

    timer_.setInterval(kStatusIntervalMs);
    connect(&timer_, &QTimer::timeout, this, [this] {
        // Qt runs timers inside the "Net error" box it may open: the controller clears a DVR's
        // error before showing the box, so a nested tick finds nothing to report twice.
        if (ViewController* vc = controller()) {
            vc->animationTimer();
            if (captions_.figures) {
                captions_.Sample(*vc);
            }
        }
    });

    port_ = std::make_unique<QtUiPort>(dispatcher_, *this, *treeModel_, *myOutlineView_, *TextDvr_);
    playbackPort_ = std::make_unique<NetPlayBackPort>(*this, dispatcher_, context_);
}

MainWindow::~MainWindow() {
    qApp->removeEventFilter(this);
    videoViewController_->setCaptions(nullptr);  // the captions go before the surface
    videoViewController_->setLiveRecorder(nullptr);
    timer_.stop();
    // The controller (and its threads) must be gone by now; a late caller finds the port closed.
    port_->ReleaseWaitingThreads();
    playbackPort_->BeginClosing();
}

const QList<QAction*>& MainWindow::keyboardActions() const {
    return shortcuts_->actions();
}

void MainWindow::ShowShortcutSheet() {
    shortcuts_->ShowSheet();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    // Operator input pauses a tour: its next view comes 10 s after the last input.
    if (type == QEvent::KeyPress || type == QEvent::MouseButtonPress || type == QEvent::Wheel) {
        tour_.PauseForInput();
    }
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease) {
        return false;
    }
    auto* target = qobject_cast<QWidget*>(watched);
    if (!target || target->window() != this) {
        return false;
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    NSButtonEx* button = ptzPanel_->ButtonForKey(key->key());
    if (!button) {
        return false;
    }
    if (heldByKey_ && !heldByKey_->isHeld()) {
        heldByKey_ = nullptr;  // the hold ended another way (the window lost the keyboard, ...)
    }
    if (type == QEvent::KeyPress) {
        if (!(key->modifiers() & Qt::ControlModifier)) {
            return false;
        }
        // One press record for a key held down: its auto-repeat adds nothing.
        if (!key->isAutoRepeat() && !heldByKey_) {
            heldByKey_ = button;
            button->HoldFromKeyboard();
        }
        return true;
    }
    if (button != heldByKey_ || key->isAutoRepeat()) {
        return button == heldByKey_;
    }
    // The key came up, Ctrl still down or not: the release goes out.
    heldByKey_ = nullptr;
    button->EndHold();
    return true;
}

SavedView MainWindow::CurrentView(const QString& name) const {
    SavedView v;
    v.name = name;
    if (ViewController* vc = controller()) {
        const SCREEN_SHOW_CTRL layout = vc->LayoutCopy();
        v.split = layout.iShowChanNum == 1 ? layout.iOldShowChanNum : layout.iShowChanNum;
        v.page = layout.iShowPage;
        v.dvr = vc->CurrentDVR();
        for (int p = 0; p < kPanes; ++p) {
            v.codes.push_back(vc->SelfChannel(p));
        }
    }
    return v;
}

bool MainWindow::RecallView(const QString& name) {
    ViewController* vc = controller();
    const std::optional<SavedView> v = views_.Find(name);
    if (!vc || !v) {
        return false;
    }
    // One request per DVR for the view recalled, not one per step of getting there.
    vc->HoldAdjustments();
    if (v->dvr >= 0 && v->dvr < vc->DvrCount()) {
        myOutlineView_->setCurrentIndex(treeModel_->index(v->dvr, 0));
    } else {
        myOutlineView_->clearSelection();
        for (int p = 0; p < kPanes && p < static_cast<int>(v->codes.size()); ++p) {
            vc->WriteSelfChannel(p, v->codes[static_cast<std::size_t>(p)]);
        }
    }
    vc->ShowSplitPage(v->split, v->page);
    vc->ReleaseAdjustments();
    return true;
}

void MainWindow::SaveViewAs() {
    if (!controller()) {
        return;
    }
    if (const std::optional<QString> name = ViewsDialog::AskNameToSave(this, views_)) {
        views_.Put(CurrentView(*name));
        Q_EMIT viewsChanged();
    }
}

void MainWindow::ShowViews() {
    if (!viewsDialog_) {
        viewsDialog_ = new ViewsDialog(this, views_, tour_,
                                       [this](const QString& name) { return RecallView(name); });
        // Shown again later: the list follows what was saved meanwhile.
        connect(this, &MainWindow::viewsChanged, viewsDialog_, &ViewsDialog::Refill);
    }
    Q_EMIT viewsChanged();
    viewsDialog_->show();
    viewsDialog_->raise();
    viewsDialog_->activateWindow();
}

void MainWindow::setWallMode(bool on) {
    if (on == wall_) {
        return;
    }
    wall_ = on;
    fullScreenAction_->setChecked(on);
    leaveFullScreenAction_->setEnabled(on);
    leftPanel_->setVisible(!on);
    splitBar_->setVisible(!on);
    if (on) {
        wasMaximized_ = isMaximized();
        normalPlace_ = geometry();
        // Without a window manager that knows full screen, the window takes the screen itself.
        if (QScreen* s = screen()) {
            setGeometry(s->geometry());
        }
        showFullScreen();
        videoViewController_->setFocus();
    } else if (wasMaximized_) {
        showMaximized();
    } else {
        showNormal();
        setGeometry(normalPlace_);
    }
}

UiPort& MainWindow::uiPort() {
    return *port_;
}

void MainWindow::Start(ViewController& vc) {
    if (controller() || stopped_) {
        return;
    }
    // From here on the surface, the tree, the dialogs and the panels reach the controller.
    context_.Attach(vc);
    // The video area: pane buffers, the surface, a 36-pane grid.
    if (!context_.panes()->Allocate()) {
        vc.MessageBox("Not enough memory for the video panes.");
    }
    const PaneRect bounds = videoViewController_->SurfaceBounds();
    vc.SetDisplayPort(videoViewController_);
    vc.SetPlaybackPort(playbackPort_.get());
    vc.InitScreenCtrl(36, 36);
    QLog("bounds.size.width=%f, bounds.size.height=%f", static_cast<double>(bounds.width),
         static_cast<double>(bounds.height));
    // The status timer is a Qt timer: it also fires while a button is held or a drag runs.
    timer_.start();
    vc.LoadUserInfoFromFile();
    vc.SetFocusFromTree();
    ptzPanel_->SetButtonCodes();
    for (QPushButton* b : splitButtons_) {
        SetButtonBackground(b, kDarkRed, kDarkGreenBlue, kDarkGreenBlue);
        b->setStyleSheet(
            b->styleSheet() +
            QStringLiteral(" QPushButton:checked { background-color: rgb(40, 110, 170);"
                           " border: 1px solid rgb(230, 230, 230); }"));
    }
    ShowSplit();
    SetButtonBackground(buttonCapture_, kDarkRed, kDarkGreenBlue, kDarkGreenBlue);
    ptzPanel_->ColourLensButtons();
    ptzPanel_->EmptyLists();
    ptzPanel_->ColourCommandButtons();
    ptzPanel_->FillLists();
}

void MainWindow::Stop() {
    if (stopped_) {
        return;
    }
    stopped_ = true;
    timer_.stop();
    // A wall is no place to come back to: the next run opens where the window last was.
    if (!wall_) {
        KeepPlace(*this, QStringLiteral("main"));
        KeepSplit(*splitter_, QStringLiteral("main"));
    }
    // A held button's release reaches the camera while its connection is still up.
    ptzPanel_->EndHolds();
    port_->ReleaseWaitingThreads();
    // The playback window sends nothing more, and what DVR threads still hand it is dropped.
    playbackPort_->BeginClosing();
    liveRecorder_->StopAll();  // its files are finished before the DVRs go
    if (ViewController* vc = controller()) {
        vc->StopDvrThreads();
        vc->SetDisplayPort(nullptr);
        vc->SetPlaybackPort(nullptr);
    }
    // The controller is destroyed before the window: nothing here may reach it any more.
    context_.Clear();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // From here on no DVR thread waits for this window; the threads stop once the event loop
    // has returned (stop()), since a box may still be unwinding below this call.
    timer_.stop();
    port_->BeginClosing();
    playbackPort_->BeginClosing();
    if (DVRProperty* property = DVRProperty::Existing()) {
        property->close();
    }
    if (AddUserNswindowController* add = AddUserNswindowController::Existing()) {
        add->close();
    }
    event->accept();
}

void MainWindow::doSomethingForCapture() {
    videoViewController_->CreatePicFormOpenGL();
}

void MainWindow::ShowWindowAddUser() {
    if (!controller() || port_->isClosing()) {
        return;
    }
    AddUserNswindowController* dialog =
        AddUserNswindowController::sharedEffectStackController(this, context_);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    dialog->initData();
}

void MainWindow::ShowWindowProperty() {
    ViewController* vc = controller();
    if (!vc || port_->isClosing()) {
        return;
    }
    const int dvr = vc->GetCurrentDVR();
    if (dvr < 0) {
        return;
    }
    DVRProperty* dialog = DVRProperty::sharedEffectStackController(this, context_);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    dialog->initData(vc->EntryCopy(dvr), dvr);
}

void MainWindow::ShowSplit() {
    ViewController* vc = controller();
    if (!vc) {
        return;
    }
    const SCREEN_SHOW_CTRL layout = vc->LayoutCopy();
    const int split = layout.iShowChanNum == 1 ? layout.iOldShowChanNum : layout.iShowChanNum;
    for (int i = 0; i < 10; ++i) {
        splitButtons_[i]->setChecked(kSplits[i] == split);
    }
    if (split < 4) {
        pageLabel_->clear();
        return;
    }
    // The pages as the layout wraps them: the square splits end with their last whole page, the
    // others with one more, partly filled.
    const bool square = split == 4 || split == 16 || split == 36 || split == 64 || split == 256;
    const int pages = std::max(layout.iShowMaxNum / split + (square ? 0 : 1), 1);
    pageLabel_->setText(QStringLiteral("page %1 of %2").arg(layout.iShowPage + 1).arg(pages));
}

void MainWindow::EnableLargeSplits(bool enabled) {
    for (int i = 0; i < 10; ++i) {
        if (kSplits[i] > 36) {
            splitButtons_[i]->setEnabled(enabled);
        }
    }
}

QPushButton* MainWindow::splitButton(int split) const {
    for (int i = 0; i < 10; ++i) {
        if (kSplits[i] == split) {
            return splitButtons_[i];
        }
    }
    return nullptr;
}
