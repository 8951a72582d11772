#include "tests/gui/ptz/PtzFixture.h"

#include <QApplication>
#include <QMouseEvent>

#include <thread>

#include "core/wire/WireFormats.h"
#include "gui/main/VideoView.h"
#include "tests/gui/PaneColours.h"

using namespace std::chrono_literals;

std::unique_ptr<SimProcess> PtzWindowTest::quietDvr(int slot) {
    return std::make_unique<SimProcess>(std::vector<std::string>{
        "--listen", "127.0.0.1:0", "--account", "admin:1234:2:16", "--fault", "stall:0", "--log",
        logs.file("dvr" + std::to_string(slot) + ".log")});
}

void PtzWindowTest::startWith(int count,
                              const std::vector<std::pair<int, const SimProcess*>>& sims) {
    std::vector<SAVE_INFO_STRUCT> entries;
    for (int i = 0; i < count; ++i) {
        std::string server = "127.0.0.1:1";
        for (const auto& [slot, sim] : sims) {
            if (slot == i) {
                server = "127.0.0.1:" + std::to_string(sim->port());
            }
        }
        entries.push_back(Entry(server, "DVR" + std::to_string(i)));
    }
    writeList(entries);
    startApp();
    window->activateWindow();
    WaitUntil([&] { return window->isActiveWindow(); }, 3s);
}

void PtzWindowTest::connectDvr(int slot) {
    select(slot);
    chooseFromMenu(slot, QStringLiteral("connectDVR"));
    ASSERT_TRUE(WaitUntil([&] { return vc->GetNetCtrlStruct(slot).NetWorking.load() == 1; }));
}

void PtzWindowTest::clickPane(int pane) {
    VideoView* view = window->videoView();
    const QPointF at(PaneOnScreen(*vc, pane, view->height()).center());
    QMouseEvent e(QEvent::MouseButtonPress, at, view->mapToGlobal(at), Qt::LeftButton,
                  Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view, &e);
}

NSButtonEx* PtzWindowTest::held(const QString& name) const {
    auto* b = window->ptzPanel()->findChild<NSButtonEx*>(name);
    EXPECT_NE(b, nullptr) << name.toStdString();
    return b;
}

QPushButton* PtzWindowTest::button(const QString& name) const {
    auto* b = window->ptzPanel()->findChild<QPushButton*>(name);
    EXPECT_NE(b, nullptr) << name.toStdString();
    return b;
}

QComboBox* PtzWindowTest::list(const QString& name) const {
    auto* c = window->ptzPanel()->findChild<QComboBox*>(name);
    EXPECT_NE(c, nullptr) << name.toStdString();
    return c;
}

void PtzWindowTest::press(QAbstractButton* b) {
    const QPointF at(b->rect().center());
    QMouseEvent e(QEvent::MouseButtonPress, at, b->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                  Qt::NoModifier);
    QApplication::sendEvent(b, &e);
}

void PtzWindowTest::release(QAbstractButton* b) {
    release(b, b->rect().center());
}

void PtzWindowTest::release(QAbstractButton* b, QPoint at) {
    QMouseEvent e(QEvent::MouseButtonRelease, QPointF(at), b->mapToGlobal(QPointF(at)),
                  Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(b, &e);
}

std::vector<LoggedCommand> PtzWindowTest::ptz(int slot) const {
    std::vector<LoggedCommand> out;
    for (const LoggedCommand& c :
         Commands(ReadLines(logs.file("dvr" + std::to_string(slot) + ".log")))) {
        if (c.iCmd == NET_PTZ) {
            out.push_back(c);
        }
    }
    return out;
}

std::vector<LoggedCommand> PtzWindowTest::waitForPtz(int slot, std::size_t n) const {
    WaitUntil([&] { return ptz(slot).size() >= n; }, 5s);
    // Nothing more may follow.
    Pump(150ms);
    return ptz(slot);
}

std::vector<int> Ptz(const LoggedCommand& c) {
    return {c.iParam1, c.iParam2, c.iParam3};
}
