#include "gui/main/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QSpinBox>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/ViewController.h"
#include "core/support/Log.h"
#include "gui/dialogs/AddUserNswindowController.h"
#include "gui/dialogs/DVRProperty.h"
#include "gui/main/QtUiPort.h"
#include "gui/main/VideoView.h"
#include "gui/playback/NetPlayBackPort.h"
#include "gui/ptz/ButtonColour.h"
#include "gui/ptz/NSButtonEx.h"
#include "gui/ptz/PtzPanel.h"
#include "gui/support/WindowPlaces.h"
#include "gui/tree/DvrTreeModel.h"
#include "gui/tree/ImageAndTextCell.h"
#include "gui/tree/OutlineViewCon.h"

namespace {

QSettings Settings() {
    return QSettings(QStringLiteral("Quillmarsh"), QStringLiteral("Quillmarsh"));
}

// The boxes of the views: plain text, since a view's name is the operator's.
QMessageBox* ViewBox(QWidget* parent, const QString& text, const QString& informative) {
    auto* box = new QMessageBox(parent);
    box->setIcon(QMessageBox::Warning);
    box->setWindowTitle(QStringLiteral("Quillmarsh"));
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    box->setInformativeText(informative);
    if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
        label->setTextFormat(Qt::PlainText);
    }
    return box;
}

bool AskOkCancel(QWidget* parent, const QString& text, const QString& informative) {
    std::unique_ptr<QMessageBox> box(ViewBox(parent, text, informative));
    box->setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    box->setDefaultButton(QMessageBox::Cancel);
    return box->exec() == QMessageBox::Ok;
}

void Tell(QWidget* parent, const QString& text, const QString& informative) {
    std::unique_ptr<QMessageBox> box(ViewBox(parent, text, informative));
    box->setStandardButtons(QMessageBox::Ok);
    box->exec();
}

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
        // The split shown looks pressed; the controller's layout decides which (showSplit()).
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

    createKeyboardActions();
    tourSeconds_ =
        std::clamp(Settings().value(QStringLiteral("tour/seconds"), 10).toInt(), 2, 3600);
    // A coarse timer may be 5 % off: half a second late, or early, over a 10 s pause.
    tour_.setTimerType(Qt::PreciseTimer);
    connect(&tour_, &QTimer::timeout, this, [this] {
        const QStringList names = views_.names();
        if (names.isEmpty()) {
            stopTour();
            return;
        }
        tour_.setInterval(tourSeconds_ * 1000);  // after a pause, the tour's own pace again
        recallView(names[tourNext_++ % names.size()]);
    });
    // Key events go to the focused widget; the PTZ keys must work wherever the focus is.
    qApp->installEventFilter(this);

    connect(myOutlineView_, &OutlineViewCon::addDvrRequested, this, &MainWindow::ShowWindowAddUser);
    connect(myOutlineView_, &OutlineViewCon::dvrDeleted, this, [this](int dvr) {
        views_.dvrRemoved(dvr);  // the views follow the list as the pane codes do
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
                captions_.sample(*vc);
            }
        }
    });

    port_ = std::make_unique<QtUiPort>(dispatcher_, *this, *treeModel_, *myOutlineView_, *TextDvr_);
    playbackPort_ = std::make_unique<NetPlayBackPort>(*this, dispatcher_, context_);
}

MainWindow::~MainWindow() {
    qApp->removeEventFilter(this);
    videoViewController_->setCaptions(nullptr);  // the captions go before the surface
    timer_.stop();
    // The controller (and its threads) must be gone by now; a late caller finds the port closed.
    port_->releaseWaitingThreads();
    playbackPort_->beginClosing();
}

QAction* MainWindow::addKeyboardAction(const QString& name, const QString& text,
                                       const QKeySequence& key, const std::function<void()>& run) {
    auto* action = new QAction(text, this);
    action->setObjectName(QStringLiteral("action") + name);
    action->setShortcut(key);
    action->setToolTip(text + QStringLiteral(" (") + key.toString(QKeySequence::NativeText) +
                       QStringLiteral(")"));
    connect(action, &QAction::triggered, this, run);
    addAction(action);  // a window shortcut: it works wherever the focus is in the window
    keyboardActions_.append(action);
    return action;
}

void MainWindow::createKeyboardActions() {
    // Keys 1 to 9 and 0 for the ten split buttons, in their order.
    for (int i = 0; i < 10; ++i) {
        const int n = kSplits[i];
        addKeyboardAction(QStringLiteral("Split%1").arg(n), QStringLiteral("%1 panes").arg(n),
                          QKeySequence(i < 9 ? Qt::Key_1 + i : Qt::Key_0),
                          [this, i] { splitButtons_[i]->click(); });
    }
    const auto withController = [this](void (ViewController::*op)()) {
        return [this, op] {
            if (ViewController* vc = controller()) {
                (vc->*op)();
            }
        };
    };
    addKeyboardAction(QStringLiteral("NextPage"), QStringLiteral("Next page"),
                      QKeySequence(Qt::Key_PageDown), withController(&ViewController::NextPage));
    addKeyboardAction(QStringLiteral("PreviousPage"), QStringLiteral("Previous page"),
                      QKeySequence(Qt::Key_PageUp), withController(&ViewController::PreviousPage));
    QAction* titles = addKeyboardAction(QStringLiteral("PaneTitles"), QStringLiteral("Pane titles"),
                                        QKeySequence(Qt::Key_T),
                                        [this] { captions_.titles = !captions_.titles; });
    titles->setCheckable(true);
    QAction* figures =
        addKeyboardAction(QStringLiteral("StreamFigures"), QStringLiteral("Stream figures"),
                          QKeySequence(Qt::Key_I), [this] {
                              captions_.figures = !captions_.figures;
                              if (ViewController* vc = controller(); vc && captions_.figures) {
                                  captions_.sample(*vc);  // the first rates come a second later
                              }
                          });
    figures->setCheckable(true);
    addKeyboardAction(QStringLiteral("Snapshot"), QStringLiteral("Save snapshot"),
                      QKeySequence::Save, [this] { doSomethingForCapture(); });
    fullScreenAction_ =
        addKeyboardAction(QStringLiteral("FullScreen"), QStringLiteral("Full screen"),
                          QKeySequence(Qt::Key_F11), [this] { setWallMode(!wall_); });
    fullScreenAction_->setCheckable(true);
    leaveFullScreenAction_ =
        addKeyboardAction(QStringLiteral("LeaveFullScreen"), QStringLiteral("Leave full screen"),
                          QKeySequence(Qt::Key_Escape), [this] { setWallMode(false); });
    leaveFullScreenAction_->setEnabled(false);  // Escape is the dialogs' and menus' otherwise
    // The tree's commands on the DVR selected in it.
    OutlineViewCon* tree = myOutlineView_;
    addKeyboardAction(QStringLiteral("Connect"), QStringLiteral("Connect DVR"),
                      QKeySequence(Qt::CTRL | Qt::Key_O), [tree] { tree->connectDVR(); });
    addKeyboardAction(QStringLiteral("Disconnect"), QStringLiteral("Disconnect DVR"),
                      QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O),
                      [tree] { tree->DisconnectDVR(); });
    addKeyboardAction(QStringLiteral("Playback"), QStringLiteral("Play back recordings"),
                      QKeySequence(Qt::CTRL | Qt::Key_R), [tree] { tree->NetPlayBack(); });
    addKeyboardAction(QStringLiteral("NewDvr"), QStringLiteral("New DVR..."), QKeySequence::New,
                      [tree] { tree->NewIP(); });
    addKeyboardAction(QStringLiteral("Properties"), QStringLiteral("DVR properties..."),
                      QKeySequence(Qt::ALT | Qt::Key_Return), [tree] { tree->ShowDVRProperty(); });
    addKeyboardAction(QStringLiteral("Delete"), QStringLiteral("Delete DVR..."),
                      QKeySequence(Qt::Key_Delete), [tree] { tree->DelDVR(); });
    addKeyboardAction(QStringLiteral("SaveView"), QStringLiteral("Save view..."),
                      QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), [this] { saveViewAs(); });
    addKeyboardAction(QStringLiteral("Views"), QStringLiteral("Views..."), QKeySequence(Qt::Key_F9),
                      [this] { showViews(); });
    addKeyboardAction(QStringLiteral("Tour"), QStringLiteral("Start or stop the tour"),
                      QKeySequence(Qt::Key_F5), [this] {
                          if (touring()) {
                              stopTour();
                          } else {
                              startTour(tourSeconds_);
                          }
                      });
    addKeyboardAction(QStringLiteral("Shortcuts"), QStringLiteral("Keyboard shortcuts"),
                      QKeySequence(Qt::Key_F1), [this] {
                          if (shortcutSheet_ && shortcutSheet_->isVisible()) {
                              shortcutSheet_->close();
                          } else {
                              showShortcutSheet();
                          }
                      });
}

void MainWindow::showShortcutSheet() {
    if (!shortcutSheet_) {
        shortcutSheet_ = new QDialog(this);
        shortcutSheet_->setObjectName(QStringLiteral("shortcutSheet"));
        shortcutSheet_->setWindowTitle(QStringLiteral("Keyboard shortcuts"));
        shortcutSheet_->setAccessibleDescription(shortcutSheet_->objectName());
        const auto fill = [](QTableWidget* table, const QList<QStringList>& rows) {
            table->setRowCount(static_cast<int>(rows.size()));
            for (int row = 0; row < rows.size(); ++row) {
                for (int column = 0; column < rows[row].size(); ++column) {
                    table->setItem(row, column, new QTableWidgetItem(rows[row][column]));
                }
            }
            table->verticalHeader()->hide();
            table->horizontalHeader()->setStretchLastSection(true);
            table->setEditTriggers(QAbstractItemView::NoEditTriggers);
            table->resizeColumnsToContents();
        };
        QList<QStringList> commands;
        for (const QAction* a : keyboardActions_) {
            commands.append({a->text(), a->shortcut().toString(QKeySequence::NativeText)});
        }
        // The held PTZ keys are no commands of their own: they hold the panel's buttons.
        commands.append(
            {QStringLiteral("Pan and tilt, while held"), QStringLiteral("Ctrl+Arrows")});
        commands.append(
            {QStringLiteral("Zoom 1 / Zoom 2, while held"), QStringLiteral("Ctrl++ / Ctrl+-")});
        auto* table = new QTableWidget(0, 2, shortcutSheet_);
        table->setObjectName(QStringLiteral("shortcutTable"));
        table->setHorizontalHeaderLabels({QStringLiteral("Command"), QStringLiteral("Key")});
        fill(table, commands);
        // What the video and the tree do with keys of their own and with the mouse.
        const QList<QStringList> gestures = {
            {QStringLiteral("Move the framed pane selection (video focused)"),
             QStringLiteral("Arrows")},
            {QStringLiteral("Zoom the selected pane, or back to the grid (video focused)"),
             QStringLiteral("Enter")},
            {QStringLiteral("Zoom a pane, or back to the grid"), QStringLiteral("Click a pane")},
            {QStringLiteral("Magnify a zoomed pane around the pointer, up to 8x"),
             QStringLiteral("Wheel")},
            {QStringLiteral("Pan a magnified pane"), QStringLiteral("Drag")},
            {QStringLiteral("Show a magnified pane whole again"),
             QStringLiteral("Backspace / Middle click")},
            {QStringLiteral("Unzoom a magnified pane"), QStringLiteral("Click without dragging")},
            {QStringLiteral("Turn the page of the split shown"),
             QStringLiteral("Click its split button again")},
            {QStringLiteral("Auto Display (the all-DVR view)"),
             QStringLiteral("Right click the video")},
            {QStringLiteral("The DVR's menu"),
             QStringLiteral("Right click a DVR / Menu / Shift+F10")},
            {QStringLiteral("The all-DVR view"), QStringLiteral("Click beside the DVRs")},
            {QStringLiteral("Recall a view (Views...)"), QStringLiteral("Double-click it")},
        };
        auto* mouse = new QTableWidget(0, 2, shortcutSheet_);
        mouse->setObjectName(QStringLiteral("gestureTable"));
        mouse->setHorizontalHeaderLabels(
            {QStringLiteral("Video and tree"), QStringLiteral("Key or mouse")});
        fill(mouse, gestures);
        auto* close = new QDialogButtonBox(QDialogButtonBox::Close, shortcutSheet_);
        connect(close, &QDialogButtonBox::rejected, shortcutSheet_, &QDialog::reject);
        // F1 closes the sheet as it opened it; Escape does by itself, as in every dialog.
        auto* again = new QShortcut(QKeySequence(Qt::Key_F1), shortcutSheet_);
        connect(again, &QShortcut::activated, shortcutSheet_, &QDialog::reject);
        auto* layout = new QVBoxLayout(shortcutSheet_);
        layout->addWidget(table, 3);
        layout->addWidget(mouse, 2);
        layout->addWidget(close);
        shortcutSheet_->resize(520, 720);
    }
    shortcutSheet_->show();
    shortcutSheet_->raise();
    shortcutSheet_->activateWindow();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    // Operator input pauses a tour: its next view comes 10 s after the last input.
    if (tour_.isActive() &&
        (type == QEvent::KeyPress || type == QEvent::MouseButtonPress || type == QEvent::Wheel)) {
        tour_.start(kTourPauseMs);
    }
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease) {
        return false;
    }
    auto* target = qobject_cast<QWidget*>(watched);
    if (!target || target->window() != this) {
        return false;
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    NSButtonEx* button = ptzPanel_->buttonForKey(key->key());
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
            button->holdFromKeyboard();
        }
        return true;
    }
    if (button != heldByKey_ || key->isAutoRepeat()) {
        return button == heldByKey_;
    }
    // The key came up, Ctrl still down or not: the release goes out.
    heldByKey_ = nullptr;
    button->endHold();
    return true;
}

SavedView MainWindow::currentView(const QString& name) const {
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

bool MainWindow::recallView(const QString& name) {
    ViewController* vc = controller();
    const std::optional<SavedView> v = views_.find(name);
    if (!vc || !v) {
        return false;
    }
    if (v->dvr >= 0 && v->dvr < vc->DvrCount()) {
        myOutlineView_->setCurrentIndex(treeModel_->index(v->dvr, 0));
    } else {
        myOutlineView_->clearSelection();
        for (int p = 0; p < kPanes && p < static_cast<int>(v->codes.size()); ++p) {
            vc->WriteSelfChannel(p, v->codes[static_cast<std::size_t>(p)]);
        }
    }
    vc->ShowSplitPage(v->split, v->page);
    return true;
}

void MainWindow::saveViewAs() {
    if (!controller()) {
        return;
    }
    bool ok = false;
    const QString name = QInputDialog::getText(this, QStringLiteral("Save view"),
                                               QStringLiteral("Name of the view:"),
                                               QLineEdit::Normal, QString(), &ok)
                             .trimmed();
    if (!ok || name.isEmpty()) {
        return;
    }
    if (views_.find(name) &&
        !AskOkCancel(this, QStringLiteral("Replace the view \"%1\"?").arg(name),
                     QStringLiteral("A view of this name is saved already."))) {
        return;
    }
    views_.put(currentView(name));
    Q_EMIT viewsChanged();
}

void MainWindow::showViews() {
    if (!viewsDialog_) {
        viewsDialog_ = new QDialog(this);
        viewsDialog_->setObjectName(QStringLiteral("viewsDialog"));
        viewsDialog_->setAccessibleDescription(viewsDialog_->objectName());
        viewsDialog_->setWindowTitle(QStringLiteral("Views"));
        auto* list = new QListWidget(viewsDialog_);
        list->setObjectName(QStringLiteral("viewList"));
        const auto button = [this](const QString& field, const QString& text) {
            auto* b = new QPushButton(text, viewsDialog_);
            b->setObjectName(field);
            b->setAccessibleDescription(field);
            return b;
        };
        QPushButton* recall = button(QStringLiteral("recallView"), QStringLiteral("Recall"));
        QPushButton* rename = button(QStringLiteral("renameView"), QStringLiteral("Rename..."));
        QPushButton* remove = button(QStringLiteral("deleteView"), QStringLiteral("Delete"));
        QPushButton* tour = button(QStringLiteral("tourButton"), QStringLiteral("Start tour"));
        auto* seconds = new QSpinBox(viewsDialog_);
        seconds->setObjectName(QStringLiteral("tourSeconds"));
        seconds->setAccessibleName(QStringLiteral("Seconds per view"));
        seconds->setRange(2, 3600);
        seconds->setSuffix(QStringLiteral(" s"));
        seconds->setValue(tourSeconds_);
        const auto refill = [this, list, tour] {
            const QString chosen = list->currentItem() ? list->currentItem()->text() : QString();
            list->clear();
            list->addItems(views_.names());
            const auto found = list->findItems(chosen, Qt::MatchExactly);
            list->setCurrentRow(found.isEmpty() ? 0 : list->row(found.first()));
            tour->setText(touring() ? QStringLiteral("Stop tour") : QStringLiteral("Start tour"));
        };
        const auto chosen = [list] {
            return list->currentItem() ? list->currentItem()->text() : QString();
        };
        connect(recall, &QPushButton::clicked, this, [this, chosen] { recallView(chosen()); });
        connect(list, &QListWidget::itemActivated, this,
                [this](QListWidgetItem* item) { recallView(item->text()); });
        connect(rename, &QPushButton::clicked, this, [this, chosen, refill] {
            const QString from = chosen();
            bool ok = false;
            const QString to =
                QInputDialog::getText(viewsDialog_, QStringLiteral("Rename view"),
                                      QStringLiteral("New name:"), QLineEdit::Normal, from, &ok)
                    .trimmed();
            if (!ok || from.isEmpty() || to == from) {
                return;
            }
            if (!views_.rename(from, to)) {
                Tell(viewsDialog_, QStringLiteral("The view \"%1\" keeps its name.").arg(from),
                     to.isEmpty()
                         ? QStringLiteral("A view needs a name.")
                         : QStringLiteral("A view named \"%1\" is saved already.").arg(to));
            }
            refill();
        });
        connect(remove, &QPushButton::clicked, this, [this, chosen, refill] {
            views_.remove(chosen());
            refill();
        });
        connect(seconds, &QSpinBox::valueChanged, this, [this](int s) {
            tourSeconds_ = s;
            Settings().setValue(QStringLiteral("tour/seconds"), s);  // the next run's pace too
        });
        connect(tour, &QPushButton::clicked, this, [this, refill] {
            if (touring()) {
                stopTour();
            } else {
                startTour(tourSeconds_);
            }
            refill();
        });
        auto* buttons = new QHBoxLayout;
        for (QWidget* w : std::initializer_list<QWidget*>{recall, rename, remove}) {
            buttons->addWidget(w);
        }
        auto* tourRow = new QHBoxLayout;
        tourRow->addWidget(tour);
        tourRow->addWidget(seconds);
        auto* layout = new QVBoxLayout(viewsDialog_);
        layout->addWidget(list);
        layout->addLayout(buttons);
        layout->addLayout(tourRow);
        refill();
        // Shown again later: the list follows what was saved meanwhile.
        connect(this, &MainWindow::viewsChanged, viewsDialog_, refill);
    }
    Q_EMIT viewsChanged();
    viewsDialog_->show();
    viewsDialog_->raise();
    viewsDialog_->activateWindow();
}

void MainWindow::startTour(int seconds) {
    if (views_.names().isEmpty()) {
        return;
    }
    tourSeconds_ = std::clamp(seconds, 2, 3600);
    tourNext_ = 0;
    tour_.start(tourSeconds_ * 1000);
    recallView(views_.names().first());
    tourNext_ = 1;
    Q_EMIT viewsChanged();
}

void MainWindow::stopTour() {
    tour_.stop();
    Q_EMIT viewsChanged();
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
        b->setStyleSheet(
            b->styleSheet() +
            QStringLiteral(" QPushButton:checked { background-color: rgb(40, 110, 170);"
                           " border: 1px solid rgb(230, 230, 230); }"));
    }
    showSplit();
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
    // A wall is no place to come back to: the next run opens where the window last was.
    if (!wall_) {
        KeepPlace(*this, QStringLiteral("main"));
        KeepSplit(*splitter_, QStringLiteral("main"));
    }
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
    showSplit();  // every change of the split, its page or the zoom comes through here
}

void MainWindow::showSplit() {
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
