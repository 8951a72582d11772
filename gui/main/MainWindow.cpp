#include "gui/main/MainWindow.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

#include "core/ViewController.h"
#include "core/support/Log.h"
#include "gui/dialogs/AddUserNswindowController.h"
#include "gui/dialogs/DVRProperty.h"
#include "gui/main/QtUiPort.h"
#include "gui/main/VideoView.h"
#include "gui/playback/NetPlayBackPort.h"
#include "gui/ptz/ButtonColour.h"
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

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), icons_(NodeIcons::Draw()) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Quillmarsh"));

    auto* central = new QWidget(this);
    auto* split = new QSplitter(Qt::Horizontal, central);
    splitter_ = split;

    auto* left = new QWidget(split);
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
    auto* buttons = new QHBoxLayout;
    for (int i = 0; i < 10; ++i) {
        const int n = kSplits[i];
        auto* b = new QPushButton(QString::number(n), right);
        b->setObjectName(QStringLiteral("button%1").arg(n));
        b->setAccessibleName(QStringLiteral("%1 panes").arg(n));
        b->setAccessibleDescription(b->objectName());
        connect(b, &QPushButton::clicked, this, [this, n] {
            if (ViewController* vc = controller()) {
                vc->doSomethingForButton(n);
            }
        });
        splitButtons_[i] = b;
        buttons->addWidget(b);
    }
    buttonCapture_ = new QPushButton(QStringLiteral("Capture"), right);
    buttonCapture_->setObjectName(QStringLiteral("buttonCapture"));
    buttonCapture_->setAccessibleName(QStringLiteral("Save snapshot"));
    buttonCapture_->setAccessibleDescription(buttonCapture_->objectName());
    connect(buttonCapture_, &QPushButton::clicked, this, &MainWindow::doSomethingForCapture);
    buttons->addSpacing(12);
    buttons->addWidget(buttonCapture_);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 4);
    rightLayout->addWidget(videoViewController_, 1);
    rightLayout->addLayout(buttons);

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

    connect(myOutlineView_, &OutlineViewCon::addDvrRequested, this, &MainWindow::ShowWindowAddUser);
    connect(myOutlineView_, &OutlineViewCon::propertyRequested, this,
            &MainWindow::ShowWindowProperty);

    timer_.setInterval(kStatusIntervalMs);
    connect(&timer_, &QTimer::timeout, this, [this] {
        // Qt runs timers inside the "Net error" box it may open: the controller clears a DVR's
        // error before showing the box, so a nested tick finds nothing to report twice.
        if (ViewController* vc = controller()) {
            vc->animationTimer();
        }
    });

    port_ = std::make_unique<QtUiPort>(dispatcher_, *this, *treeModel_, *myOutlineView_, *TextDvr_);
    playbackPort_ = std::make_unique<NetPlayBackPort>(*this, dispatcher_, context_);
}

MainWindow::~MainWindow() {
    timer_.stop();
    // The controller (and its threads) must be gone by now; a late caller finds the port closed.
    port_->releaseWaitingThreads();
    playbackPort_->beginClosing();
}

UiPort& MainWindow::uiPort() {
    return *port_;
}

void MainWindow::start(ViewController& vc) {
    if (controller() || stopped_) {
        return;
    }
    // From here on the surface, the tree, the dialogs and the panels reach the controller.
    context_.attach(vc);
    // The video area: pane buffers, the surface, a 36-pane grid.
    if (!context_.panes()->allocate()) {
        vc.MessageBox("Not enough memory for the video panes.");
    }
    const PaneRect bounds = videoViewController_->bounds();
    vc.SetDisplayPort(this);
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
    }
    SetButtonBackground(buttonCapture_, kDarkRed, kDarkGreenBlue, kDarkGreenBlue);
    ptzPanel_->colourLensButtons();
    ptzPanel_->emptyLists();
    ptzPanel_->colourCommandButtons();
    ptzPanel_->fillLists();
}

void MainWindow::stop() {
    if (stopped_) {
        return;
    }
    stopped_ = true;
    timer_.stop();
    KeepPlace(*this, QStringLiteral("main"));
    KeepSplit(*splitter_, QStringLiteral("main"));
    // A held button's release reaches the camera while its connection is still up.
    ptzPanel_->endHolds();
    port_->releaseWaitingThreads();
    // The playback window sends nothing more, and what DVR threads still hand it is dropped.
    playbackPort_->beginClosing();
    if (ViewController* vc = controller()) {
        vc->StopDvrThreads();
        vc->SetDisplayPort(nullptr);
        vc->SetPlaybackPort(nullptr);
    }
    // The controller is destroyed before the window: nothing here may reach it any more.
    context_.clear();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // From here on no DVR thread waits for this window; the threads stop once the event loop
    // has returned (stop()), since a box may still be unwinding below this call.
    timer_.stop();
    port_->beginClosing();
    playbackPort_->beginClosing();
    if (DVRProperty* property = DVRProperty::existing()) {
        property->close();
    }
    if (AddUserNswindowController* add = AddUserNswindowController::existing()) {
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

PaneRect MainWindow::surfaceBounds() {
    return videoViewController_->bounds();
}

void MainWindow::clearScreen(uint32_t layout) {
    videoViewController_->clearScreen(layout);
}

void MainWindow::renderCurrentFrame(const PaneRect& rect, int pane, uint32_t layout) {
    videoViewController_->renderCurrentFrame(rect, pane, layout);
}

void MainWindow::markPane(int pane, const PaneRect& rect, const PaneMark& mark) {
    videoViewController_->markPane(pane, rect, mark);
}

void MainWindow::enableLargeSplits(bool enabled) {
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
