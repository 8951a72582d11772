// The PTZ panel in the window, as the simulated DVRs receive its commands: the codes and
// parameters, the pane and DVR they go to, and a held button's release however the press ends.
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>

#include "gui/tree/OutlineViewCon.h"
#include "tests/gui/ptz/PtzFixture.h"

namespace {

using namespace std::chrono_literals;
using Record = std::vector<int>;

TEST_F(PtzWindowTest, HeldUpSteersTheZoomedPaneOfTheDvrInFocusUntilReleased) {
    auto sim = quietDvr(1);
    startWith(2, {{1, sim.get()}});
    BoxAnswerer answerer;
    connectDvr(1);
    window->splitButton(4)->click();
    clickPane(3);
    ASSERT_EQ(vc->LayoutCopy().iShowChanNum, 1);

    // The status timer keeps firing while the button is held, and the hold lasts.
    int ticks = 0;
    QObject::connect(&window->statusTimer(), &QTimer::timeout, [&] { ++ticks; });
    NSButtonEx* up = held(QStringLiteral("buttonUp"));
    press(up);
    ASSERT_EQ(waitForPtz(1, 1).size(), 1u);
    EXPECT_EQ(Ptz(ptz(1)[0]), (Record{1009, 3, 1017}));
    EXPECT_TRUE(WaitUntil([&] { return ticks >= 1; }, 3s));
    EXPECT_TRUE(up->isDown());
    EXPECT_EQ(ptz(1).size(), 1u) << "the hold ended early";
    release(up);
    auto records = waitForPtz(1, 2);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(Ptz(records[1]), (Record{2009, 3, 1017}));

    // Back to the 4-pane grid: no single pane, channel -1.
    clickPane(3);
    ASSERT_EQ(vc->LayoutCopy().iShowChanNum, 4);
    press(up);
    release(up);
    records = waitForPtz(1, 4);
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(Ptz(records[2]), (Record{1009, -1, 1017}));
    EXPECT_EQ(Ptz(records[3]), (Record{2009, -1, 1017}));
    EXPECT_TRUE(ptz(0).empty());
}

TEST_F(PtzWindowTest, EveryButtonSendsItsValuesWithTheDataAndSpeedChosen) {
    auto sim = quietDvr(0);
    startWith(1, {{0, sim.get()}});
    BoxAnswerer answerer;
    connectDvr(0);
    window->splitButton(4)->click();
    clickPane(2);

    list(QStringLiteral("buttonData"))->setCurrentIndex(254);  // "255"
    list(QStringLiteral("buttonSpeed"))->setCurrentIndex(63);  // "63"
    button(QStringLiteral("buttonok"))->click();
    list(QStringLiteral("buttonData"))->setCurrentIndex(0);   // "1"
    list(QStringLiteral("buttonSpeed"))->setCurrentIndex(0);  // "0"
    button(QStringLiteral("buttonStop"))->click();
    button(QStringLiteral("buttonPreview"))->click();
    button(QStringLiteral("buttonSetview"))->click();
    button(QStringLiteral("buttonAuto"))->click();
    auto records = waitForPtz(0, 5);
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(Ptz(records[0]), (Record{3012, 2, 255063}));
    EXPECT_EQ(Ptz(records[1]), (Record{3012, 2, 1000}));
    EXPECT_EQ(Ptz(records[2]), (Record{3049, 2, 1000}));
    EXPECT_EQ(Ptz(records[3]), (Record{3048, 2, 1000}));
    EXPECT_EQ(Ptz(records[4]), (Record{3023, 2, 1000}));

    // The held buttons, with the lens pairs' codes not in label order.
    const std::pair<const char*, int> codes[] = {
        {"buttonI1", 18},   {"buttonI2", 17}, {"buttonF1", 20},    {"buttonF2", 19},
        {"buttonZ1", 22},   {"buttonZ2", 21}, {"buttonRight", 11}, {"buttonLeft", 15},
        {"buttonDown", 13}, {"buttonUp", 9}};
    for (const auto& [name, code] : codes) {
        NSButtonEx* b = held(QString::fromLatin1(name));
        const std::size_t before = ptz(0).size();
        press(b);
        release(b);
        records = waitForPtz(0, before + 2);
        ASSERT_EQ(records.size(), before + 2) << name;
        EXPECT_EQ(Ptz(records[before]), (Record{1000 + code, 2, 1000})) << name;
        EXPECT_EQ(Ptz(records[before + 1]), (Record{2000 + code, 2, 1000})) << name;
    }
}

TEST_F(PtzWindowTest, AllDvrViewSteersTheCameraAssignedToTheZoomedPaneOnly) {
    auto sim = quietDvr(2);
    startWith(3, {{2, sim.get()}});
    BoxAnswerer answerer;
    connectDvr(2);
    deselect();
    ASSERT_TRUE(WaitUntil([&] { return vc->CurrentDVR() == -1; }));
    vc->WriteSelfChannel(1, 205);
    window->splitButton(4)->click();
    const std::size_t start = ptz(2).size();

    // No zoomed pane: no camera to steer.
    NSButtonEx* left = held(QStringLiteral("buttonLeft"));
    press(left);
    release(left);
    // A zoomed pane without an assignment: nothing either.
    clickPane(0);
    ASSERT_EQ(vc->LayoutCopy().iShowChanNum, 1);
    press(left);
    release(left);

    // The zoomed pane holding 205: DVR 2, channel 5, and these are the first records it gets.
    clickPane(0);
    clickPane(1);
    ASSERT_EQ(vc->LayoutCopy().iShowChanNum, 1);
    press(left);
    release(left);
    auto records = waitForPtz(2, start + 2);
    ASSERT_EQ(records.size(), start + 2);
    EXPECT_EQ(Ptz(records[start]), (Record{1015, 5, 1017}));
    EXPECT_EQ(Ptz(records[start + 1]), (Record{2015, 5, 1017}));
}

// Each way a press can end without a release over the button still sends the release once.
TEST_F(PtzWindowTest, AHeldButtonSendsItsReleaseHoweverThePressEnds) {
    auto sim = quietDvr(0);
    startWith(1, {{0, sim.get()}});
    BoxAnswerer answerer;
    connectDvr(0);
    window->splitButton(4)->click();
    clickPane(1);
    NSButtonEx* zoom = held(QStringLiteral("buttonZ1"));

    QWidget other;
    const std::pair<const char*, std::function<void()>> endings[] = {
        {"released outside the button", [&] { release(zoom, QPoint(-30, -30)); }},
        {"released over another widget",
         [&] {
             QWidget* tree = window->outlineView()->viewport();
             QMouseEvent e(QEvent::MouseButtonRelease, QPointF(5, 5),
                           tree->mapToGlobal(QPointF(5, 5)), Qt::LeftButton, Qt::NoButton,
                           Qt::NoModifier);
             QApplication::sendEvent(tree, &e);
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
             menu.addAction(QStringLiteral("item"));
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
        {"the panel is hidden",
         [&] {
             window->ptzPanel()->hide();
             window->ptzPanel()->show();
         }},
    };
    for (const auto& [how, end] : endings) {
        // Xvfb has no window manager: activation is asked for, and may come late or not at all;
        // what matters is the release record below.
        window->activateWindow();
        WaitUntil([&] { return window->isActiveWindow(); }, 3s);
        const std::size_t before = ptz(0).size();
        zoom->setFocus(Qt::MouseFocusReason);  // what a real click gives the button
        press(zoom);
        ASSERT_TRUE(zoom->isHeld()) << how;
        end();
        // A late release over the button adds nothing.
        release(zoom);
        auto records = waitForPtz(0, before + 2);
        ASSERT_EQ(records.size(), before + 2) << how;
        EXPECT_EQ(Ptz(records[before]), (Record{1022, 1, 1017})) << how;
        EXPECT_EQ(Ptz(records[before + 1]), (Record{2022, 1, 1017})) << how;
        EXPECT_FALSE(zoom->isDown()) << how;
    }
}

}  // namespace
