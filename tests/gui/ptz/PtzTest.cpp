// The PTZ panel in the window, as the simulated DVRs receive its commands: the codes and
// parameters, the pane and DVR they go to, a held button's release however the press ends, and
// the end of the run while a button is held.
#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>

#include <optional>

#include "core/wire/WireFormats.h"
#include "gui/ptz/NSButtonEx.h"
#include "gui/ptz/PtzPanel.h"
#include "gui/tree/OutlineViewCon.h"
#include "tests/gui/UiFixture.h"
#include "tests/support/ClientFixture.h"

namespace {

// Value, channel and parameter of a PTZ record.
using Record = std::vector<int>;
using Records = std::vector<Record>;

// The window with simulated DVRs whose logs show the PTZ records they received, and the panel's
// buttons pressed and released as the mouse does.
class PtzWindowTest : public UiTest {
  protected:
    // Starts the window on a list of `count` DVRs; those in `real` are simulated DVRs, started
    // with `args` (by default they send no pictures), logging what they receive into dvrN.log.
    // Connects them in order.
    void StartWith(int count, const std::vector<int>& real,
                   const std::vector<std::string>& args = {"--account", "admin:1234:2:16",
                                                           "--fault", "stall:0"}) {
        std::vector<SAVE_INFO_STRUCT> entries(count, Entry("127.0.0.1:1", "Unreachable"));
        for (int i : real) {
            std::vector<std::string> all{"--listen", "127.0.0.1:0", "--log", LogOf(i)};
            all.insert(all.end(), args.begin(), args.end());
            sims.push_back(std::make_unique<SimProcess>(all));
            entries[i] = Entry(At(*sims.back()), "DVR" + std::to_string(i));
        }
        WriteList(entries);
        StartApp();
        window->activateWindow();
        WaitUntil([&] { return window->isActiveWindow(); }, 3s);
        for (int slot : real) {
            ConnectDvr(slot);
        }
    }

    template <class Widget = QPushButton>
    Widget* Control(const QString& name) const {
        auto* c = window->ptzPanel()->findChild<Widget*>(name);
        EXPECT_NE(c, nullptr) << name.toStdString();
        return c;
    }
    NSButtonEx* Held(const QString& name) const { return Control<NSButtonEx>(name); }
    // Mouse press in the middle of the button; release at `at` (in the button's coordinates), by
    // default in its middle.
    static void Press(QAbstractButton* b) {
        Mouse(b, QEvent::MouseButtonPress, b->rect().center());
    }
    static void Release(QAbstractButton* b, std::optional<QPoint> at = std::nullopt) {
        Mouse(b, QEvent::MouseButtonRelease, at.value_or(b->rect().center()));
    }
    // Presses and releases `b`; returns the PTZ records DVR `slot` got for it.
    Records PressAndRelease(int slot, QAbstractButton* b) {
        const std::size_t before = Ptz(slot).size();
        Press(b);
        Release(b);
        return PtzAfter(slot, before, 2);
    }
    // The PTZ records DVR `slot` received so far, and those after the first `before` once `n`
    // more came (nothing more may follow).
    Records Ptz(int slot) const {
        Records out;
        for (const LoggedCommand& c : Commands(ReadLines(LogOf(slot)))) {
            if (c.iCmd == NET_PTZ) {
                out.push_back({c.iParam1, c.iParam2, c.iParam3});
            }
        }
        return out;
    }
    Records PtzAfter(int slot, std::size_t before, std::size_t n) const {
        WaitUntil([&] { return Ptz(slot).size() >= before + n; }, 5s);
        Pump(150ms);
        const Records all = Ptz(slot);
        return {all.begin() + static_cast<std::ptrdiff_t>(std::min(before, all.size())), all.end()};
    }
    std::string LogOf(int slot) const { return logs.File("dvr" + std::to_string(slot) + ".log"); }

    TempDir logs;
    std::vector<std::unique_ptr<SimProcess>> sims;
};

TEST_F(PtzWindowTest, EveryButtonSteersTheZoomedPaneOfTheDvrInFocusAndAHeldOneIsAlwaysReleased) {
    BoxAnswerer answerer;
    StartWith(2, {1});
    window->splitButton(4)->click();
    ClickPane(3);
    ASSERT_EQ(vc->LayoutCopy().iShowChanNum, 1);

    // The status timer keeps firing while a button is held, and the hold lasts until released.
    int ticks = 0;
    QObject::connect(&window->statusTimer(), &QTimer::timeout, [&] { ++ticks; });
    NSButtonEx* up = Held(u"buttonUp"_s);
    Press(up);
    EXPECT_EQ(PtzAfter(1, 0, 1), (Records{{1009, 3, 1017}}));
    EXPECT_TRUE(WaitUntil([&] { return ticks >= 1; }, 3s));
    EXPECT_TRUE(up->isDown());
    EXPECT_EQ(Ptz(1).size(), 1u) << "the hold ended early";
    Release(up);
    EXPECT_EQ(PtzAfter(1, 1, 1), (Records{{2009, 3, 1017}}));

    // Each way a press can end without a release over the button still sends the release once.
    NSButtonEx* zoom = Held(u"buttonZ1"_s);
    QWidget other;
    const std::pair<const char*, std::function<void()>> endings[] = {
        {"released outside the button", [&] { Release(zoom, QPoint(-30, -30)); }},
        {"released over another widget",
         [&] {
             Mouse(window->outlineView()->viewport(), QEvent::MouseButtonRelease, QPointF(5, 5));
         }},
        {"a message box", [&] { vc->MessageBox("Net error"); }},
        {"focus moves away",
         [&] {
             EXPECT_TRUE(zoom->hasFocus());
             window->outlineView()->setFocus();
         }},
        {"a popup menu takes the mouse",
         [&] {
             QMenu menu;
             menu.addAction(u"item"_s);
             menu.popup(window->mapToGlobal(QPoint(10, 10)));
             WaitUntil([&] { return menu.isVisible(); }, 2s);
             menu.close();
         }},
        {"another window becomes active",
         [&] {
             other.show();
             other.activateWindow();
             WaitUntil([&] { return other.isActiveWindow(); }, 3s);
             other.hide();
         }},
        {"the pointer wavers over the edge",
         [&] {
             for (QPoint at : {QPoint(-30, -30), zoom->rect().center(), QPoint(-30, -30),
                               zoom->rect().center()}) {
                 QMouseEvent move(QEvent::MouseMove, at, zoom->mapToGlobal(at), Qt::NoButton,
                                  Qt::LeftButton, Qt::NoModifier);
                 QApplication::sendEvent(zoom, &move);
             }
         }},
        {"the panel is hidden",
         [&] {
             window->ptzPanel()->hide();
             window->ptzPanel()->show();
         }},
    };
    for (const auto& [how, end] : endings) {
        SCOPED_TRACE(how);
        // Xvfb has no window manager: activation is asked for, and may come late or not at all;
        // what matters is the release record below.
        window->activateWindow();
        WaitUntil([&] { return window->isActiveWindow(); }, 3s);
        const std::size_t before = Ptz(1).size();
        zoom->setFocus(Qt::MouseFocusReason);  // what a real click gives the button
        Press(zoom);
        ASSERT_TRUE(zoom->isHeld());
        end();
        // A late release over the button adds nothing.
        Release(zoom);
        EXPECT_EQ(PtzAfter(1, before, 2), (Records{{1022, 3, 1017}, {2022, 3, 1017}}));
        EXPECT_FALSE(zoom->isDown());
    }

    // The single buttons send the data and speed chosen.
    const std::size_t before = Ptz(1).size();
    Control<QComboBox>(u"buttonData"_s)->setCurrentIndex(254);  // "255"
    Control<QComboBox>(u"buttonSpeed"_s)->setCurrentIndex(63);  // "63"
    Control(u"buttonok"_s)->click();
    Control<QComboBox>(u"buttonData"_s)->setCurrentIndex(0);   // "1"
    Control<QComboBox>(u"buttonSpeed"_s)->setCurrentIndex(0);  // "0"
    for (const char* name : {"buttonStop", "buttonPreview", "buttonSetview", "buttonAuto"}) {
        Control(QString::fromLatin1(name))->click();
    }
    const Records singles{
        {3012, 3, 255063}, {3012, 3, 1000}, {3049, 3, 1000}, {3048, 3, 1000}, {3023, 3, 1000}};
    EXPECT_EQ(PtzAfter(1, before, 5), singles);

    // The held buttons, with the lens pairs' codes not in label order.
    const std::pair<const char*, int> codes[] = {
        {"buttonI1", 18},   {"buttonI2", 17}, {"buttonF1", 20},    {"buttonF2", 19},
        {"buttonZ1", 22},   {"buttonZ2", 21}, {"buttonRight", 11}, {"buttonLeft", 15},
        {"buttonDown", 13}, {"buttonUp", 9}};
    for (const auto& [name, code] : codes) {
        SCOPED_TRACE(name);
        EXPECT_EQ(PressAndRelease(1, Held(QString::fromLatin1(name))),
                  (Records{{1000 + code, 3, 1000}, {2000 + code, 3, 1000}}));
    }

    // Back to the 4-pane grid: no single pane, channel -1.
    ClickPane(3);
    ASSERT_EQ(vc->LayoutCopy().iShowChanNum, 4);
    EXPECT_EQ(PressAndRelease(1, up), (Records{{1009, -1, 1000}, {2009, -1, 1000}}));
}

// The all-DVR view steers the camera its zoomed pane holds, and nothing without one. Quitting
// while four DVRs stream, a PTZ button is held and every DVR thread runs: the held button's
// release still reaches the camera, the threads end, nothing is written.
TEST_F(PtzWindowTest, CtrlArrowsAndPlusMinusSteerWithOnePressAndOneReleaseWhateverRepeats) {
    StartWith(1, {0});
    window->splitButton(4)->click();
    ClickPane(2);
    ASSERT_EQ(vc->LayoutCopy().iShowChanNum, 1);
    QWidget* focus = window->outlineView();  // the keys work wherever the focus is
    const std::pair<Qt::Key, int> keys[] = {{Qt::Key_Up, 9},    {Qt::Key_Down, 13},
                                            {Qt::Key_Left, 15}, {Qt::Key_Right, 11},
                                            {Qt::Key_Plus, 22}, {Qt::Key_Minus, 21}};
    for (const auto& [key, code] : keys) {
        SCOPED_TRACE(code);
        const std::size_t before = Ptz(0).size();
        QTest::keyPress(focus, key, Qt::ControlModifier);
        for (int i = 0; i < 3; ++i) {  // the key stays down: the window system repeats it
            QKeyEvent up(QEvent::KeyRelease, key, Qt::ControlModifier, QString(), true);
            QApplication::sendEvent(focus, &up);
            QKeyEvent down(QEvent::KeyPress, key, Qt::ControlModifier, QString(), true);
            QApplication::sendEvent(focus, &down);
        }
        Pump(100ms);
        EXPECT_EQ(Ptz(0).size(), before + 1);
        QTest::keyRelease(focus, key, Qt::NoModifier);  // Ctrl may come up first
        EXPECT_EQ(PtzAfter(0, before, 2),
                  (Records{{1000 + code, 2, 1017}, {2000 + code, 2, 1017}}));
    }
    // Without Ctrl an arrow moves in the tree and steers nothing.
    const std::size_t before = Ptz(0).size();
    QTest::keyClick(focus, Qt::Key_Down);
    Pump(200ms);
    EXPECT_EQ(Ptz(0).size(), before);
}

TEST_F(PtzWindowTest, AllDvrViewSteersTheZoomedPanesCameraAndQuittingReleasesAHeldButton) {
    BoxAnswerer answerer;
    StartWith(4, {0, 1, 2, 3}, {"--account", "admin:1234:2:2"});
    Deselect();
    ASSERT_TRUE(WaitUntil([&] { return vc->CurrentDVR() == -1; }));
    vc->AutoSetDisplay();
    for (int d = 0; d < 4; ++d) {
        SCOPED_TRACE(d);
        ASSERT_TRUE(WaitUntil([&] {
            return !LinesStartingWith(ReadLines(LogOf(d)), "STREAM mask=0x00000003").empty();
        }));
    }
    Pump(1s);  // pictures flow through every receive and display thread

    // Pane 5 holds DVR 2's second camera, pane 8 none.
    ASSERT_EQ(vc->layout().SelfChannel(5), 201);
    ASSERT_EQ(vc->layout().SelfChannel(8), -1);
    NSButtonEx* up = Held(u"buttonUp"_s);
    Press(up);  // no zoomed pane
    Release(up);
    ClickPane(8);
    ASSERT_EQ(vc->LayoutCopy().iShowChanNum, 1);
    Press(up);
    Release(up);
    ClickPane(8);
    ClickPane(5);
    ASSERT_EQ(vc->LayoutCopy().iShowChanNum, 1);
    Press(up);
    ASSERT_TRUE(up->isHeld());
    const auto listBefore = ListBytes();

    const auto begin = std::chrono::steady_clock::now();
    window->close();
    EndApp();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 8s);
    EXPECT_EQ(Ptz(2), (Records{{1009, 1, 1017}, {2009, 1, 1017}}));
    for (int d : {0, 1, 3}) {
        EXPECT_TRUE(Ptz(d).empty()) << "DVR " << d;
    }
    EXPECT_EQ(ListBytes(), listBefore);
}

}  // namespace
