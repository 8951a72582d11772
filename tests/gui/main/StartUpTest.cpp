// The window after the start-up sequence, and the end of the run.
#include <QAccessible>
#include <QComboBox>
#include <QImage>
#include <QPushButton>

#include <filesystem>

#include "gui/main/VideoView.h"
#include "gui/ptz/NSButtonEx.h"
#include "gui/ptz/PtzPanel.h"
#include "tests/gui/UiFixture.h"

namespace {

using namespace std::chrono_literals;

QStringList Items(const QComboBox* c) {
    QStringList out;
    for (int i = 0; i < c->count(); ++i) {
        out.append(c->itemText(i));
    }
    return out;
}

QStringList Numbers(int from, int to) {
    QStringList out;
    for (int i = from; i <= to; ++i) {
        out.append(QString::number(i));
    }
    return out;
}

// The colour the button shows beside its border, as drawn now.
QRgb Background(QPushButton* b) {
    return b->grab().toImage().pixel(3, 3);
}

bool Grey(QRgb c, int r, int g, int b) {
    return std::abs(qRed(c) - r) <= 2 && std::abs(qGreen(c) - g) <= 2 &&
           std::abs(qBlue(c) - b) <= 2;
}

class StartUp : public UiTest {};

TEST_F(StartUp, FillsThePtzListsShows36PanesAndColoursTheButtons) {
    startApp();
    PtzPanel* panel = window->ptzPanel();
    auto* speed = panel->findChild<QComboBox*>(QStringLiteral("buttonSpeed"));
    auto* data = panel->findChild<QComboBox*>(QStringLiteral("buttonData"));
    ASSERT_TRUE(speed && data);
    EXPECT_EQ(speed->currentText(), QStringLiteral("17"));
    EXPECT_EQ(data->currentText(), QStringLiteral("1"));
    EXPECT_EQ(Items(speed), Numbers(0, 63));
    EXPECT_EQ(Items(data), Numbers(1, 255));
    EXPECT_EQ(panel->GetPtzSpeed(), 17);
    EXPECT_EQ(panel->GetPtzData(), 1);

    // First run: no list, no DVR, a 36-pane grid, the status timer running.
    EXPECT_EQ(vc->list().count(), 0);
    EXPECT_EQ(vc->CurrentDVR(), -1);
    EXPECT_EQ(vc->LayoutCopy().iShowChanNum, 36);
    EXPECT_EQ(panel->GetPtzChan(), -1);
    EXPECT_TRUE(window->statusTimer().isActive());
    EXPECT_EQ(window->statusTimer().interval(), 1000);

    // Split and capture buttons dark grey, lens and command buttons light grey; the directions
    // and ok keep the style's colour.
    for (int n : MainWindow::kSplits) {
        EXPECT_TRUE(Grey(Background(window->splitButton(n)), 97, 94, 94)) << n;
    }
    EXPECT_TRUE(Grey(Background(window->captureButton()), 97, 94, 94));
    for (const char* name : {"buttonI1", "buttonI2", "buttonF1", "buttonF2", "buttonZ1", "buttonZ2",
                             "buttonPreview", "buttonSetview", "buttonAuto", "buttonStop"}) {
        auto* b = panel->findChild<QPushButton*>(QString::fromLatin1(name));
        ASSERT_NE(b, nullptr) << name;
        EXPECT_TRUE(Grey(Background(b), 181, 181, 181)) << name;
    }
    for (const char* name : {"buttonUp", "buttonDown", "buttonLeft", "buttonRight", "buttonok"}) {
        auto* b = panel->findChild<QPushButton*>(QString::fromLatin1(name));
        ASSERT_NE(b, nullptr) << name;
        EXPECT_FALSE(Grey(Background(b), 181, 181, 181)) << name;
        EXPECT_FALSE(Grey(Background(b), 97, 94, 94)) << name;
    }

    // Every control is found by its field name and read out by a name of its own.
    QList<QWidget*> controls{window->captureButton()};
    for (QWidget* w : panel->findChildren<QWidget*>()) {
        if (qobject_cast<QPushButton*>(w) || qobject_cast<QComboBox*>(w)) {
            controls.append(w);
        }
    }
    EXPECT_EQ(controls.size(), 18);
    for (QWidget* w : controls) {
        EXPECT_EQ(w->accessibleDescription(), w->objectName());
        EXPECT_FALSE(w->accessibleName().isEmpty()) << w->objectName().toStdString();
        EXPECT_NE(w->accessibleName(), w->objectName());
    }
}

TEST_F(StartUp, TheEndOfTheRunWritesNothing) {
    startApp();
    endApp();
    EXPECT_FALSE(std::filesystem::exists(listPath()));

    writeList({Entry("127.0.0.1:1", "Gate"), Entry("127.0.0.1:2", "Yard")});
    const auto bytes = listBytes();
    const auto written = std::filesystem::last_write_time(listPath());
    startApp();
    EXPECT_EQ(titles(), (QStringList{QStringLiteral("Gate"), QStringLiteral("Yard")}));
    select(1);
    Pump(50ms);
    window->close();
    endApp();
    EXPECT_EQ(listBytes(), bytes);
    EXPECT_EQ(std::filesystem::last_write_time(listPath()), written);
}

}  // namespace
