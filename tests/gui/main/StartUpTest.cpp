// The window after the start-up sequence of a first run, and what the end of that run leaves.
#include <QComboBox>
#include <QEventLoop>
#include <QPushButton>

#include <ctime>
#include <filesystem>

#include "gui/ptz/PtzPanel.h"
#include "tests/gui/UiFixture.h"

namespace {

QStringList Numbers(int from, int to) {
    QStringList out;
    for (int i = from; i <= to; ++i) {
        out.append(QString::number(i));
    }
    return out;
}

using StartUp = UiTest;

// Below 1 % of a core; sanitized builds run everything several times slower.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr double kIdleShare = 0.05;
#else
constexpr double kIdleShare = 0.01;
#endif

// The share of one core the whole process used while the event loop ran for `time`.
double CpuShare(std::chrono::milliseconds time) {
    auto cpu = [] {
        timespec t{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return t.tv_sec + t.tv_nsec / 1e9;
    };
    const double before = cpu();
    const auto start = std::chrono::steady_clock::now();
    QEventLoop loop;  // one wait: Pump's polling would cost more than the window
    QTimer::singleShot(time, &loop, &QEventLoop::quit);
    loop.exec();
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    return (cpu() - before) / wall.count();
}

// Nothing to show costs next to nothing: before a DVR is connected, and after its video ended.
TEST_F(StartUp, AnIdleWindowCostsNextToNothing) {
    SimProcess sim({"--listen", "127.0.0.1:0", "--account", "admin:1234:2:4"});
    WriteList({Entry(At(sim), "Gate")});
    StartApp();
    Pump(2s);
    EXPECT_LT(CpuShare(3s), kIdleShare) << "not connected";
    ConnectDvr(0);
    Pump(1s);
    vc->DisconnectDVR();
    Pump(2s);
    EXPECT_LT(CpuShare(3s), kIdleShare) << "disconnected after its video";
}

TEST_F(StartUp, AFirstRunFillsThePtzListsShows36PanesColoursTheButtonsAndWritesNothing) {
    StartApp();
    PtzPanel* panel = window->ptzPanel();
    auto* speed = panel->findChild<QComboBox*>(u"buttonSpeed"_s);
    auto* data = panel->findChild<QComboBox*>(u"buttonData"_s);
    ASSERT_TRUE(speed && data);
    // What is chosen at first, data 1 and speed 17, shows in the PTZ records (parameter 1017).
    EXPECT_EQ(Items(speed), Numbers(0, 63));
    EXPECT_EQ(Items(data), Numbers(1, 255));

    // No list, no DVR, a 36-pane grid, the status timer running.
    EXPECT_TRUE(Titles().isEmpty());
    EXPECT_EQ(vc->list().count(), 0);
    EXPECT_EQ(vc->CurrentDVR(), -1);
    EXPECT_EQ(vc->showAutoDisplay(), 0);
    EXPECT_EQ(vc->LayoutCopy().iShowChanNum, 36);
    EXPECT_TRUE(window->statusTimer().isActive());
    EXPECT_EQ(window->statusTimer().interval(), 1000);

    // Split and capture buttons dark grey, the split shown (36) pressed in blue; of the panel's
    // buttons the directions and ok keep the style's colour, the others are light grey (as drawn
    // now, beside the border).
    const Rgb dark{97, 94, 94}, light{181, 181, 181}, pressed{40, 110, 170};
    auto shows = [](QPushButton* b, Rgb grey) {
        return Near(b->grab().toImage().pixel(3, 3), grey, 2);
    };
    for (int n : MainWindow::kSplits) {
        EXPECT_TRUE(shows(window->splitButton(n), n == 36 ? pressed : dark)) << n;
    }
    EXPECT_TRUE(shows(window->captureButton(), dark));
    const QStringList styled{u"buttonUp"_s, u"buttonDown"_s, u"buttonLeft"_s, u"buttonRight"_s,
                             u"buttonok"_s};
    QList<QWidget*> controls{window->captureButton()};
    for (QWidget* w : panel->findChildren<QWidget*>()) {
        auto* b = qobject_cast<QPushButton*>(w);
        if (b) {
            EXPECT_TRUE(styled.contains(b->objectName()) ? !shows(b, light) && !shows(b, dark)
                                                         : shows(b, light))
                << b->objectName().toStdString();
        }
        if (b || qobject_cast<QComboBox*>(w)) {
            controls.append(w);
        }
    }
    // Every control is found by its field name and read out by a name of its own.
    EXPECT_EQ(controls.size(), 18);
    for (QWidget* w : controls) {
        EXPECT_EQ(w->accessibleDescription(), w->objectName());
        EXPECT_FALSE(w->accessibleName().isEmpty()) << w->objectName().toStdString();
        EXPECT_NE(w->accessibleName(), w->objectName());
    }

    Select(0);  // nothing to select: connect finds no DVR
    ChooseFromMenu(0, u"connectDVR"_s);
    EXPECT_EQ(vc->GetNetCtrlStruct(0).init.load(), 0);
    EndApp();
    EXPECT_FALSE(std::filesystem::exists(home_.path() + "/userinfo"));
}

}  // namespace
