// Operating a wall: the keyboard's commands and their sheet, the wheel and drag in a zoomed pane,
// the pictures' captions, and the saved views with their tour.
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QWheelEvent>

#include "gui/main/StartOptions.h"
#include "gui/main/VideoView.h"
#include "gui/tree/OutlineViewCon.h"
#include "tests/gui/UiFixture.h"

namespace {

using Keyboard = UiTest;

TEST_F(Keyboard, ArrowsMoveAFramedSelectionOverThePanesAndEnterZoomsIt) {
    WriteList({Entry("127.0.0.1:1", "Gate")});
    StartApp();
    Select(0);
    window->splitButton(9)->click();
    Activate();
    VideoView* view = window->videoView();
    view->setFocus();
    ASSERT_TRUE(WaitUntil([&] { return view->hasFocus(); }));
    const auto selected = [&] { return vc->LayoutCopy().iSelectChan; };
    const std::pair<Qt::Key, int> moves[] = {
        {Qt::Key_Right, 0},  // from no selection: the page's first pane
        {Qt::Key_Right, 1}, {Qt::Key_Down, 4}, {Qt::Key_Right, 5},
        {Qt::Key_Right, 5},  // the grid's edge stops it
        {Qt::Key_Down, 8},  {Qt::Key_Left, 7}, {Qt::Key_Up, 4},
    };
    for (const auto& [key, pane] : moves) {
        QTest::keyClick(view, key);
        EXPECT_EQ(selected(), pane);
        Pump(30ms);  // each selection is drawn
    }
    // The selected pane wears a frame; the ones it left are grey again.
    const auto framed = [&](int p) {
        const QRect r = Pane(p);
        return Near(Surface().pixel(r.left() + 1, r.top() + r.height() / 2), {255, 217, 0});
    };
    EXPECT_TRUE(WaitUntil([&] { return framed(4); }, 3s));
    EXPECT_FALSE(framed(7));
    EXPECT_FALSE(framed(8));
    // A new size greys the surface and the frame comes back at once; the marks of the
    // disconnected DVR come back on the next tick, and the frame stays over its pane's mark.
    window->resize(window->width() + 40, window->height() + 30);
    EXPECT_TRUE(WaitUntil([&] { return framed(4); }, 3s));
    Pump(window->statusTimer().intervalAsDuration() * 3 / 2);
    EXPECT_TRUE(framed(4));

    QTest::keyClick(view, Qt::Key_Return);
    EXPECT_EQ(vc->LayoutCopy().iShowChanNum, 1);
    EXPECT_EQ(vc->LayoutCopy().m_screenRect[4].iOnShow, 1);
    QTest::keyClick(view, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(vc->LayoutCopy().iShowChanNum, 9);
}

TEST_F(Keyboard, TheWheelMagnifiesAZoomedPaneADragPansBackspaceShowsItWholeAndAClickUnzooms) {
    SimProcess sim({"--listen", "127.0.0.1:0", "--account", "admin:1234:2:4"});
    WriteList({Entry(At(sim), "Gate")});
    StartApp();
    ConnectDvr(0);
    window->splitButton(4)->click();
    ClickPane(0);
    ASSERT_EQ(vc->LayoutCopy().iShowChanNum, 1);
    VideoView* view = window->videoView();
    // The rows of the still, light band at the top of the picture: more when magnified.
    const auto band = [&] {
        Pump(300ms);
        const QImage s = view->GrabSurface();
        const int top = qGray(s.pixel(10, 1));
        int rows = 0;
        while (rows < s.height() && std::abs(qGray(s.pixel(10, rows)) - top) < 20) {
            ++rows;
        }
        return rows;
    };
    const auto wheel = [&](int notches) {
        QWheelEvent e(QPointF(1, 1), view->mapToGlobal(QPointF(1, 1)), QPoint(),
                      QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                      false);
        QApplication::sendEvent(view, &e);
    };
    const auto drag = [&](QPointF from, QPointF to) {
        Mouse(view, QEvent::MouseButtonPress, from);
        QMouseEvent move(QEvent::MouseMove, to, view->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(view, &move);
        Mouse(view, QEvent::MouseButtonRelease, to);
    };
    // The zoom clears the surface: the channel's next picture must be there before the band
    // is measured (on a loaded machine it can take longer than one measurement's wait).
    ASSERT_TRUE(WaitUntil([&] { return PaneShows(0, 0); }, 10s));
    const int whole = band();
    ASSERT_GT(whole, 5);
    wheel(3);  // 1.25 cubed, around the top left corner
    const int magnified = band();
    EXPECT_NEAR(magnified, whole * 1.953, 4);
    drag(QPointF(100, 140), QPointF(100, 100));  // the picture follows the pointer up
    EXPECT_NEAR(band(), magnified - 40, 4);
    EXPECT_EQ(vc->LayoutCopy().iShowChanNum, 1);  // a drag is no click
    Activate();
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Backspace);
    EXPECT_NEAR(band(), whole, 2);

    wheel(2);
    drag(QPointF(100, 100), QPointF(101, 101));  // a click that hardly moves
    EXPECT_EQ(vc->LayoutCopy().iShowChanNum, 4);
}

// Views are saved as the operator does: "Save view..." and a name typed into its box.
class Views : public Keyboard {
  protected:
    void SaveView(const QString& name) {
        AnswerInputBox(name, [&] { window->SaveViewAs(); });
    }
};

TEST_F(Views, AViewIsSavedRecalledKeptAcrossARestartAndFollowsADvrDelete) {
    WriteList(
        {Entry("127.0.0.1:1", "Gate"), Entry("127.0.0.1:2", "Yard"), Entry("127.0.0.1:3", "Dock")});
    StartApp();
    Select(1);  // Yard alone, 9 panes, page 2
    window->splitButton(9)->click();
    window->splitButton(9)->click();
    SaveView(u"yard"_s);
    Deselect();  // the all-DVR view, 4 panes: Dock's camera 6, then Yard's first
    vc->WriteSelfChannel(0, 205);
    vc->WriteSelfChannel(1, 100);
    window->splitButton(4)->click();
    SaveView(u"wall"_s);

    EndApp();
    StartApp();
    EXPECT_EQ(window->views().names(), (QStringList{u"yard"_s, u"wall"_s}));
    window->ShowViews();
    auto* dialog = window->findChild<QDialog*>(u"viewsDialog"_s);
    ASSERT_NE(dialog, nullptr);
    dialog->findChild<QListWidget*>(u"viewList"_s)->setCurrentRow(0);
    dialog->findChild<QPushButton*>(u"recallView"_s)->click();
    EXPECT_EQ(vc->CurrentDVR(), 1);
    EXPECT_EQ(vc->LayoutCopy().iShowChanNum, 9);
    EXPECT_EQ(vc->LayoutCopy().iShowPage, 1);
    ASSERT_TRUE(window->RecallView(u"wall"_s));
    EXPECT_EQ(vc->CurrentDVR(), -1);
    EXPECT_EQ(vc->LayoutCopy().iShowChanNum, 4);
    EXPECT_EQ(vc->layout().SelfChannel(0), 205);
    EXPECT_EQ(vc->layout().SelfChannel(1), 100);

    // Gate leaves the list: Yard is DVR 0 now, Dock DVR 1, and the views follow.
    BoxAnswerer yes(u"OK"_s);
    Select(0);
    window->outlineView()->DelDVR();
    ASSERT_EQ(Titles(), (QStringList{u"Yard"_s, u"Dock"_s}));
    EndApp();
    StartApp();
    EXPECT_EQ(window->views().Find(u"yard"_s)->dvr, 0);
    EXPECT_EQ(window->views().Find(u"wall"_s)->codes[0], 105);
    EXPECT_EQ(window->views().Find(u"wall"_s)->codes[1], 0);
}

TEST_F(Views, ANameTakenAsksBeforeReplacingIsRefusedToARenameAndTheTourPaceIsKept) {
    WriteList({Entry("127.0.0.1:1", "Gate"), Entry("127.0.0.1:2", "Yard")});
    StartApp();
    Select(0);
    window->splitButton(9)->click();
    SaveView(u"gate"_s);
    Select(1);
    SaveView(u"yard"_s);
    window->splitButton(16)->click();

    BoxAnswerer answerer(u"Cancel"_s);
    SaveView(u"gate"_s);
    ASSERT_EQ(answerer.boxes().size(), 1);
    EXPECT_EQ(answerer.boxes()[0].text, u"Replace the view \"gate\"?"_s);
    EXPECT_EQ(answerer.boxes()[0].buttons.size(), 2);
    EXPECT_TRUE(answerer.boxes()[0].buttons.contains(u"OK"_s));
    EXPECT_EQ(window->views().Find(u"gate"_s)->dvr, 0);  // Cancel keeps the old one
    EXPECT_EQ(window->views().Find(u"gate"_s)->split, 9);
    answerer.setAnswer(u"OK"_s);
    SaveView(u"gate"_s);
    ASSERT_EQ(answerer.boxes().size(), 2);
    EXPECT_EQ(window->views().Find(u"gate"_s)->dvr, 1);
    EXPECT_EQ(window->views().Find(u"gate"_s)->split, 16);
    EXPECT_EQ(window->views().names(), (QStringList{u"gate"_s, u"yard"_s}));
    SaveView(u"new"_s);  // a new name asks nothing
    EXPECT_EQ(answerer.boxes().size(), 2);

    window->ShowViews();
    auto* dialog = window->findChild<QDialog*>(u"viewsDialog"_s);
    ASSERT_NE(dialog, nullptr);
    const auto rename = [&](int row, const QString& to) {
        dialog->findChild<QListWidget*>(u"viewList"_s)->setCurrentRow(row);
        AnswerInputBox(to, [&] { dialog->findChild<QPushButton*>(u"renameView"_s)->click(); });
    };
    rename(0, u"yard"_s);
    ASSERT_EQ(answerer.boxes().size(), 3);
    EXPECT_EQ(answerer.boxes()[2].text, u"The view \"gate\" keeps its name."_s);
    EXPECT_EQ(answerer.boxes()[2].informative, u"A view named \"yard\" is saved already."_s);
    EXPECT_TRUE(answerer.boxes()[2].plain);
    EXPECT_EQ(window->views().names(), (QStringList{u"gate"_s, u"yard"_s, u"new"_s}));
    rename(0, u"front"_s);
    EXPECT_EQ(answerer.boxes().size(), 3);
    EXPECT_EQ(window->views().names(), (QStringList{u"front"_s, u"yard"_s, u"new"_s}));

    // The pace chosen here is the next run's too, for F5 as for the dialog.
    auto* pace = dialog->findChild<QSpinBox*>(u"tourSeconds"_s);
    EXPECT_EQ(pace->value(), 10);
    pace->setValue(7);
    EndApp();
    StartApp();
    window->ShowViews();
    dialog = window->findChild<QDialog*>(u"viewsDialog"_s);
    EXPECT_EQ(dialog->findChild<QSpinBox*>(u"tourSeconds"_s)->value(), 7);
    dialog->close();
    Activate();
    QTest::keyClick(window.get(), Qt::Key_F5);
    ASSERT_TRUE(window->touring());
    const auto split = [&] { return vc->LayoutCopy().iShowChanNum; };
    EXPECT_EQ(split(), 16);  // "front", shown at once
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitUntil([&] { return split() == 36; }, 10s));  // "yard" after 7 s
    EXPECT_NEAR(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                7.0, 0.5);
    // Any input pauses it; F5 again ends it.
    QTest::keyClick(window->videoView(), Qt::Key_Shift);
    EXPECT_EQ(window->tour().stepInterval(), ViewTour::kPauseMs);
    QTest::keyClick(window.get(), Qt::Key_F5);
    EXPECT_FALSE(window->touring());
}

TEST_F(Keyboard, TAndIPutTheTitleAndTheFiguresOverEachPictureAndTakeThemOffAgain) {
    SimProcess sim({"--listen", "127.0.0.1:0", "--account", "admin:1234:2:4"});
    WriteList({Entry(At(sim), "Gate")});
    StartApp();
    ConnectDvr(0);
    window->splitButton(4)->click();
    Activate();
    ASSERT_TRUE(WaitUntil([&] { return vc->GetNetCtrlStruct(0).stats[0].decoded.load() > 5; }));
    // The top of pane 0: a still band of the camera's picture, where the caption goes.
    const auto corner = [&] {
        Pump(400ms);
        return Surface().copy(QRect(3, 3, 80, 12));
    };
    const QImage plain = corner();
    EXPECT_EQ(window->paneCaptions().TextFor(*vc, 0), QString());

    QTest::keyClick(window.get(), Qt::Key_T);
    EXPECT_GT(Differing(plain, corner()), 80 * 12 / 4);
    EXPECT_EQ(window->paneCaptions().TextFor(*vc, 0), u"Gate  CAM01"_s);
    QTest::keyClick(window.get(), Qt::Key_I);
    ASSERT_TRUE(WaitUntil(
        [&] { return !window->paneCaptions().TextFor(*vc, 1).contains(u"\n0\u00A0fps"_s); }, 4s));
    const auto figures = [&] {
        return QRegularExpression(
                   u"^Gate  CAM02\n(\\d+)\u00A0fps  (\\d+)\u00A0kbit/\u2060s  352x288  dropped\u00A00  grew\u00A0(\\d+)$"_s)
            .match(window->paneCaptions().TextFor(*vc, 1));
    };
    const QRegularExpressionMatch first = figures();
    ASSERT_TRUE(first.hasMatch()) << window->paneCaptions().TextFor(*vc, 1).toStdString();
    EXPECT_GT(first.captured(1).toInt(), 0);
    EXPECT_GT(first.captured(2).toInt(), 0);
    // The memory grew while the stream began (decoders, queue blocks: at most one a slot), not
    // with every picture: a hundred and more pass in the next second and a half.
    EXPECT_GT(first.captured(3).toInt(), 0);
    EXPECT_LE(first.captured(3).toInt(), 48);
    Pump(1500ms);
    const QRegularExpressionMatch later = figures();
    ASSERT_TRUE(later.hasMatch());
    EXPECT_LT(later.captured(3).toInt() - first.captured(3).toInt(), 10);

    // Both off: the next pictures show the camera alone again.
    QTest::keyClick(window.get(), Qt::Key_T);
    QTest::keyClick(window.get(), Qt::Key_I);
    EXPECT_LT(Differing(plain, corner()), 8);
}

TEST_F(Keyboard, EveryCommandHasAKeyThatTriggersItTheSheetListsThemAndClosesEveryWay) {
    WriteList({Entry("127.0.0.1:1", "Gate")});
    StartApp();
    const QList<QAction*>& actions = window->keyboardActions();
    ASSERT_EQ(actions.size(), 28);
    QStringList keys;
    for (const QAction* a : actions) {
        keys << a->shortcut().toString();
        EXPECT_FALSE(a->shortcut().isEmpty()) << a->text().toStdString();
        EXPECT_FALSE(a->objectName().isEmpty());
    }
    keys.removeDuplicates();
    EXPECT_EQ(keys.size(), actions.size());

    // Each key triggers its command once, whatever window that command opens.
    BoxAnswerer answerer(u"Cancel"_s);  // the delete asks first; a failed connect reports
    QTimer closer;                      // the snapshot's file chooser is turned down
    QObject::connect(&closer, &QTimer::timeout, [] {
        auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (d && !qobject_cast<QMessageBox*>(d)) {
            d->reject();
        }
    });
    closer.start(20);
    Select(0);
    for (QAction* a : actions) {
        SCOPED_TRACE(a->text().toStdString());
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w != window.get() && w->isVisible()) {
                w->close();
            }
        }
        Activate();
        int fired = 0;
        const auto seen = QObject::connect(a, &QAction::triggered, [&] { ++fired; });
        QTest::keySequence(window.get(), a->shortcut());
        EXPECT_TRUE(WaitUntil([&] { return fired == 1; }, 2s));
        QObject::disconnect(seen);
    }
    EXPECT_TRUE(WaitUntil([&] { return !vc->AttemptRunning(0); }));
    EXPECT_EQ(Titles(), QStringList{u"Gate"_s});  // the delete was turned down

    // The sheet (F1 made it above) lists every command with its key, and the mouse gestures:
    // everything it says, row by row, is what it does and its key or gesture.
    auto* sheet = window->findChild<QDialog*>(u"shortcutSheet"_s);
    ASSERT_NE(sheet, nullptr);
    QStringList said;
    for (auto* table : sheet->findChildren<QTableWidget*>()) {
        for (int row = 0; row < table->rowCount(); ++row) {
            said << table->item(row, 0)->text() + u" = "_s + table->item(row, 1)->text();
        }
    }
    const auto lists = [&](const QString& what, const QString& how) {
        return std::any_of(said.begin(), said.end(), [&](const QString& line) {
            const qsizetype split = line.indexOf(u" = "_s);
            return line.left(split).contains(what, Qt::CaseInsensitive) &&
                   line.mid(split + 3).contains(how, Qt::CaseInsensitive);
        });
    };
    for (const QAction* a : window->keyboardActions()) {
        EXPECT_TRUE(lists(a->text(), a->shortcut().toString(QKeySequence::NativeText)))
            << a->text().toStdString();
    }
    // The keys of the focused video and the mouse, as the README lists them.
    const std::pair<QString, QString> gestures[] = {
        {u"selection"_s, u"Arrows"_s},
        {u"zoom the selected"_s, u"Enter"_s},
        {u"magnify"_s, u"Wheel"_s},
        {u"pan"_s, u"Drag"_s},
        {u"whole"_s, u"Backspace"_s},
        {u"whole"_s, u"Middle click"_s},
        {u"unzoom"_s, u"without drag"_s},
        {u"zoom a pane"_s, u"Click a pane"_s},
        {u"page"_s, u"split button"_s},
        {u"Auto Display"_s, u"Right click the video"_s},
        {u"menu"_s, u"Shift+F10"_s},
        {u"all-DVR"_s, u"beside"_s},
        {u"Pan and tilt"_s, u"Ctrl+Arrows"_s},
        {u"Zoom 1"_s, u"Ctrl++"_s},
        {u"Recall a view"_s, u"Double-click"_s},
    };
    for (const auto& [what, how] : gestures) {
        EXPECT_TRUE(lists(what, how)) << what.toStdString() << " / " << how.toStdString();
    }

    // F1 on the sheet or on the window behind it, Escape and the Close button each close it.
    QPushButton* close = nullptr;
    for (auto* b : sheet->findChildren<QPushButton*>()) {
        close = b->text().remove(u'&') == u"Close"_s ? b : close;
    }
    ASSERT_NE(close, nullptr);
    const std::pair<const char*, std::function<void()>> closers[] = {
        {"F1 on the sheet", [&] { QTest::keyClick(sheet, Qt::Key_F1); }},
        {"F1 on the window",
         [&] {
             Activate();
             QTest::keyClick(window.get(), Qt::Key_F1);
         }},
        {"Escape", [&] { QTest::keyClick(sheet, Qt::Key_Escape); }},
        {"Close", [&] { close->click(); }},
    };
    sheet->close();
    for (const auto& [how, closeIt] : closers) {
        SCOPED_TRACE(how);
        Activate();
        QTest::keyClick(window.get(), Qt::Key_F1);
        ASSERT_TRUE(WaitUntil([&] { return sheet->isVisible() && sheet->isActiveWindow(); }));
        closeIt();
        EXPECT_TRUE(WaitUntil([&] { return !sheet->isVisible(); }, 2s));
    }
}

TEST_F(Views, TheShownSplitsButtonLooksPressedAndThePageLabelFollowsEveryChange) {
    WriteList({Entry("127.0.0.1:1", "Gate"), Entry("127.0.0.1:2", "Yard")});
    StartApp();
    Select(0);  // one DVR: its 36 panes make the pages
    Activate();
    auto* page = window->findChild<QLabel*>(u"pageLabel"_s);
    ASSERT_NE(page, nullptr);
    const auto pressed = [&] {
        QList<int> down;
        for (int n : MainWindow::kSplits) {
            if (window->splitButton(n)->isChecked()) {
                down << n;
            }
        }
        return down;
    };
    EXPECT_EQ(pressed(), QList<int>{36});  // the start-up split
    EXPECT_EQ(page->text(), u"page 1 of 1"_s);

    QTest::keyClick(window.get(), Qt::Key_1);
    EXPECT_EQ(pressed(), QList<int>{4});
    EXPECT_EQ(page->text(), u"page 1 of 9"_s);
    QTest::keyClick(window.get(), Qt::Key_PageDown);
    EXPECT_EQ(page->text(), u"page 2 of 9"_s);
    QTest::keyClick(window.get(), Qt::Key_PageUp);
    QTest::keyClick(window.get(), Qt::Key_PageUp);
    EXPECT_EQ(page->text(), u"page 9 of 9"_s);
    EXPECT_EQ(vc->LayoutCopy().iShowPage, 8);

    // Pressed is seen: the button's face differs from the others'.
    const auto face = [&](int split) {
        QPushButton* b = window->splitButton(split);
        return b->grab().toImage().pixel(3, b->height() / 2);
    };
    EXPECT_FALSE(Near(face(4), {qRed(face(9)), qGreen(face(9)), qBlue(face(9))}, 30));
    EXPECT_TRUE(Near(face(16), {qRed(face(9)), qGreen(face(9)), qBlue(face(9))}, 4));

    window->splitButton(9)->click();
    window->splitButton(9)->click();  // the same button again turns the page
    EXPECT_EQ(pressed(), QList<int>{9});
    EXPECT_EQ(page->text(), u"page 2 of 5"_s);
    ClickPane(9);  // a zoomed pane keeps the split it returns to
    ASSERT_EQ(vc->LayoutCopy().iShowChanNum, 1);
    EXPECT_EQ(pressed(), QList<int>{9});
    ClickPane(9);
    window->splitButton(9)->click();  // clicking the pressed button leaves it pressed
    EXPECT_EQ(pressed(), QList<int>{9});
    EXPECT_EQ(page->text(), u"page 3 of 5"_s);
    SaveView(u"nine"_s);

    // The start-up options, a recalled view and a tour's step.
    StartOptions o;
    o.split = 16;
    o.page = 2;
    ApplyStartOptions(*window, *vc, o, {});
    EXPECT_EQ(pressed(), QList<int>{16});
    EXPECT_EQ(page->text(), u"page 2 of 2"_s);
    ASSERT_TRUE(window->RecallView(u"nine"_s));
    EXPECT_EQ(pressed(), QList<int>{9});
    EXPECT_EQ(page->text(), u"page 3 of 5"_s);
    Deselect();  // the all-DVR view: its 256 panes make the pages
    window->splitButton(25)->click();
    EXPECT_EQ(page->text(), u"page 1 of 11"_s);
    SaveView(u"all"_s);
    QTest::keyClick(window.get(), Qt::Key_4);
    window->StartTour(2);
    EXPECT_EQ(pressed(), QList<int>{9});
    EXPECT_EQ(page->text(), u"page 3 of 5"_s);
    EXPECT_TRUE(WaitUntil([&] { return page->text() == u"page 1 of 11"_s; }, 4s));
    EXPECT_EQ(pressed(), QList<int>{25});
    window->StopTour();
}

}  // namespace
