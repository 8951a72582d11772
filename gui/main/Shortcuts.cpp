#include "gui/main/Shortcuts.h"

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeySequence>
#include <QPushButton>
#include <QShortcut>
#include <QStringList>
#include <QTableWidget>
#include <QVBoxLayout>

#include <functional>
#include <vector>

#include "core/ViewController.h"
#include "gui/main/MainWindow.h"
#include "gui/main/ViewTour.h"
#include "gui/main/video/LiveRecorder.h"
#include "gui/main/video/PaneCaptions.h"
#include "gui/support/CoreContext.h"
#include "gui/tree/OutlineViewCon.h"

namespace {

struct Command {
    QString name;  // the action's object name, after "action"
    QString text;
    QKeySequence key;
    std::function<void()> run;
    bool checkable = false;
};

void Fill(QTableWidget* table, const QList<QStringList>& rows) {
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
}

}  // namespace

Shortcuts::Shortcuts(MainWindow& window, CoreContext& context) : window_(window) {
    std::vector<Command> table;
    // Keys 1 to 9 and 0 for the ten split buttons, in their order.
    for (int i = 0; i < 10; ++i) {
        const int n = MainWindow::kSplits[i];
        table.push_back({QStringLiteral("Split%1").arg(n), QStringLiteral("%1 panes").arg(n),
                         QKeySequence(i < 9 ? Qt::Key_1 + i : Qt::Key_0),
                         [&window, n] { window.splitButton(n)->click(); }});
    }
    const auto withController = [&context](void (ViewController::*op)()) {
        return [&context, op] {
            if (ViewController* vc = context.controller()) {
                (vc->*op)();
            }
        };
    };
    PaneCaptions& captions = window.paneCaptions();
    OutlineViewCon* tree = window.outlineView();  // the tree's commands on the DVR selected in it
    const auto toggleTitles = [&captions] { captions.titles = !captions.titles; };
    const auto toggleFigures = [&captions, &context] {
        captions.figures = !captions.figures;
        if (ViewController* vc = context.controller(); vc && captions.figures) {
            captions.Sample(*vc);  // the first rates come a second later
        }
    };
    const std::vector<Command> rest = {
        {QStringLiteral("NextPage"), QStringLiteral("Next page"), QKeySequence(Qt::Key_PageDown),
         withController(&ViewController::NextPage)},
        {QStringLiteral("PreviousPage"), QStringLiteral("Previous page"),
         QKeySequence(Qt::Key_PageUp), withController(&ViewController::PreviousPage)},
        {QStringLiteral("PaneTitles"), QStringLiteral("Pane titles"), QKeySequence(Qt::Key_T),
         toggleTitles, true},
        {QStringLiteral("StreamFigures"), QStringLiteral("Stream figures"), QKeySequence(Qt::Key_I),
         toggleFigures, true},
        {QStringLiteral("Snapshot"), QStringLiteral("Save snapshot"), QKeySequence::Save,
         [&window] { window.doSomethingForCapture(); }},
        {QStringLiteral("Record"), QStringLiteral("Record the live pane, or stop"),
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R),
         [&window] { window.liveRecorder().StartOrStop(); }},
        {QStringLiteral("FullScreen"), QStringLiteral("Full screen"), QKeySequence(Qt::Key_F11),
         [&window] { window.setWallMode(!window.wallMode()); }, true},
        {QStringLiteral("LeaveFullScreen"), QStringLiteral("Leave full screen"),
         QKeySequence(Qt::Key_Escape), [&window] { window.setWallMode(false); }},
        {QStringLiteral("Connect"), QStringLiteral("Connect DVR"),
         QKeySequence(Qt::CTRL | Qt::Key_O), [tree] { tree->connectDVR(); }},
        {QStringLiteral("Disconnect"), QStringLiteral("Disconnect DVR"),
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O), [tree] { tree->DisconnectDVR(); }},
        {QStringLiteral("Playback"), QStringLiteral("Play back recordings"),
         QKeySequence(Qt::CTRL | Qt::Key_R), [tree] { tree->NetPlayBack(); }},
        {QStringLiteral("NewDvr"), QStringLiteral("New DVR..."), QKeySequence::New,
         [tree] { tree->NewIP(); }},
        {QStringLiteral("Properties"), QStringLiteral("DVR properties..."),
         QKeySequence(Qt::ALT | Qt::Key_Return), [tree] { tree->ShowDVRProperty(); }},
        {QStringLiteral("Delete"), QStringLiteral("Delete DVR..."), QKeySequence(Qt::Key_Delete),
         [tree] { tree->DelDVR(); }},
        {QStringLiteral("SaveView"), QStringLiteral("Save view..."),
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), [&window] { window.SaveViewAs(); }},
        {QStringLiteral("Views"), QStringLiteral("Views..."), QKeySequence(Qt::Key_F9),
         [&window] { window.ShowViews(); }},
        {QStringLiteral("Tour"), QStringLiteral("Start or stop the tour"), QKeySequence(Qt::Key_F5),
         [&window] { window.tour().StartOrStop(); }},
        {QStringLiteral("Shortcuts"), QStringLiteral("Keyboard shortcuts"),
         QKeySequence(Qt::Key_F1), [this] { ShowOrCloseSheet(); }},
    };
    table.insert(table.end(), rest.begin(), rest.end());

    for (const Command& c : table) {
        auto* action = new QAction(c.text, &window);
        action->setObjectName(QStringLiteral("action") + c.name);
        action->setShortcut(c.key);
        action->setToolTip(c.text + QStringLiteral(" (") +
                           c.key.toString(QKeySequence::NativeText) + QStringLiteral(")"));
        action->setCheckable(c.checkable);
        QObject::connect(action, &QAction::triggered, &window, c.run);
        window.addAction(action);  // a window shortcut: it works wherever the focus is in it
        actions_.append(action);
    }
    // Escape is the dialogs' and menus' otherwise.
    action(QStringLiteral("LeaveFullScreen"))->setEnabled(false);
}

QAction* Shortcuts::action(const QString& name) const {
    for (QAction* a : actions_) {
        if (a->objectName() == QStringLiteral("action") + name) {
            return a;
        }
    }
    return nullptr;
}

void Shortcuts::ShowOrCloseSheet() {
    if (sheet_ && sheet_->isVisible()) {
        sheet_->close();
    } else {
        ShowSheet();
    }
}

void Shortcuts::ShowSheet() {
    if (!sheet_) {
        sheet_ = new QDialog(&window_);
        sheet_->setObjectName(QStringLiteral("shortcutSheet"));
        sheet_->setWindowTitle(QStringLiteral("Keyboard shortcuts"));
        sheet_->setAccessibleDescription(sheet_->objectName());
        QList<QStringList> commands;
        for (const QAction* a : actions_) {
            commands.append({a->text(), a->shortcut().toString(QKeySequence::NativeText)});
        }
        // The held PTZ keys are no commands of their own: they hold the panel's buttons.
        commands.append(
            {QStringLiteral("Pan and tilt, while held"), QStringLiteral("Ctrl+Arrows")});
        commands.append(
            {QStringLiteral("Zoom 1 / Zoom 2, while held"), QStringLiteral("Ctrl++ / Ctrl+-")});
        // The playback window's own keys.
        commands.append({QStringLiteral("Next event (playback window)"), QStringLiteral("N")});
        commands.append(
            {QStringLiteral("Previous event (playback window)"), QStringLiteral("Shift+N")});
        auto* table = new QTableWidget(0, 2, sheet_);
        table->setObjectName(QStringLiteral("shortcutTable"));
        table->setHorizontalHeaderLabels({QStringLiteral("Command"), QStringLiteral("Key")});
        Fill(table, commands);
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
        auto* mouse = new QTableWidget(0, 2, sheet_);
        mouse->setObjectName(QStringLiteral("gestureTable"));
        mouse->setHorizontalHeaderLabels(
            {QStringLiteral("Video and tree"), QStringLiteral("Key or mouse")});
        Fill(mouse, gestures);
        auto* close = new QDialogButtonBox(QDialogButtonBox::Close, sheet_);
        QObject::connect(close, &QDialogButtonBox::rejected, sheet_, &QDialog::reject);
        // F1 closes the sheet as it opened it; Escape does by itself, as in every dialog.
        auto* again = new QShortcut(QKeySequence(Qt::Key_F1), sheet_);
        QObject::connect(again, &QShortcut::activated, sheet_, &QDialog::reject);
        auto* layout = new QVBoxLayout(sheet_);
        layout->addWidget(table, 3);
        layout->addWidget(mouse, 2);
        layout->addWidget(close);
        sheet_->resize(520, 720);
    }
    sheet_->show();
    sheet_->raise();
    sheet_->activateWindow();
}
