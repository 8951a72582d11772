// The main window with a controller on a temporary HOME, and helpers to drive it as an operator
// would: the tree's context menu, the modal boxes, the saved list file, the video surface.
#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QEvent>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPointF>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/ViewController.h"
#include "core/directory/SaveInfo.h"
#include "gui/main/MainWindow.h"
#include "gui/support/CoreContext.h"
#include "gui/tree/NodeImage.h"
#include "tests/support/RecordingUi.h"
#include "tests/support/SimProcess.h"
#include "tools/dvrsim/TestPattern.h"

// Every GUI test speaks in durations and Qt strings.
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

// Runs the event loop until `done` holds or the limit passes; returns whether it held.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s);
// Runs the event loop for a while.
void Pump(std::chrono::milliseconds time);

// Answers the next input box that opens with `text`, once `open` opens it.
void AnswerInputBox(const QString& text, const std::function<void()>& open);

// Answers every modal message box that opens while it exists, recording what it showed.
class BoxAnswerer : public QObject {
  public:
    struct Box {
        QString text;
        QString informative;
        QStringList buttons;  // titles, in layout order
        bool plain = false;   // its texts are shown as plain text, never as markup
    };

    // Clicks the button titled `answer`, or the first one when there is none of that title.
    explicit BoxAnswerer(const QString& answer = u"OK"_s);
    void setAnswer(const QString& answer) { answer_ = answer; }
    const QList<Box>& boxes() const { return boxes_; }

  private:
    QString answer_;
    QList<Box> boxes_;
    QTimer timer_;
};

// The context menu as it was shown: its title, and each item's text, followed by " (off)" when
// it is disabled and by its shortcut when it has one.
struct MenuSeen {
    QString title;
    QStringList items;
};

// How the operator opens the tree's context menu.
enum class MenuBy { RightClick, MenuKey, ShiftF10 };

inline bool RegionShows(const QImage& image, const QRect& p, int channel, int tolerance = 24);

class UiTest : public ::testing::Test {
  protected:
    UiTest();
    ~UiTest() override;

    // Creates the window and the controller and runs the start-up sequence; shows the window.
    // With `listFile`, the list is read from and saved to that file (the --list option).
    void StartApp(const std::string& listFile = {});
    // The end of the run as main() does it: stop, then the controller, then the window.
    void EndApp();

    std::string ListPath() const { return home_.path() + "/userinfo/info.uss"; }
    // Writes a list file holding `entries` as entries 0.. and no pane assignment.
    void WriteList(const std::vector<SAVE_INFO_STRUCT>& entries) const;
    std::vector<unsigned char> ListBytes() const;
    // Entry i as it is in the file now.
    SAVE_INFO_STRUCT EntryInFile(int i) const;

    QStringList Titles() const;
    // Draws the tree now and tells whether row `row` shows `icon` (every opaque pixel of it).
    bool RowShows(int row, const NodeImage& icon) const;
    // Draws the tree now and returns the tooltip of row `row`: the resource name of its icon.
    QString IconShown(int row) const;
    void Select(int row);
    void Deselect();
    // Opens the tree's context menu over `row` (from the keyboard: over the current row) and
    // chooses `item` (nothing when empty).
    MenuSeen ChooseFromMenu(int row, const QString& item, MenuBy by = MenuBy::RightClick);
    // Selects DVR `slot`, connects it from the menu and waits until it works.
    void ConnectDvr(int slot);
    // Clicks pane `pane` of the video surface (a zoom, or back to the grid).
    void ClickPane(int pane);
    // Keys reach a window's shortcuts while it is the active one.
    void Activate();
    // The video surface as drawn now, pane `p`'s rectangle in it, and whether it shows `channel`.
    QImage Surface() const;
    QRect Pane(int p) const;
    bool PaneShows(int p, int channel) const { return RegionShows(Surface(), Pane(p), channel); }

    TempDir home_;
    std::optional<std::string> oldHome_;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<ViewController> vc;
};

// A saved entry as the add dialog would make it, with a display name of its own.
SAVE_INFO_STRUCT Entry(const std::string& server, const std::string& name,
                       const std::string& user = "admin", const std::string& pass = "1234");
// Sends what the window system delivers when a mouse button goes down or up at `at` in `w`.
void Mouse(QWidget* w, QEvent::Type type, QPointF at, Qt::MouseButton button = Qt::LeftButton);
// The server text of a simulator on loopback.
inline std::string At(const SimProcess& sim) {
    return "127.0.0.1:" + std::to_string(sim.port());
}
QStringList Items(const QComboBox* box);

// ---- What a pane of the video surface shows --------------------------------------------------

struct Rgb {
    int r, g, b;
};

// BT.601, limited range: what the surface must show for a luma/chroma sample.
inline Rgb Bt601(int y, int cb, int cr) {
    const double yy = 1.164383 * (y - 16);
    auto clamp = [](double v) { return std::clamp(static_cast<int>(v + 0.5), 0, 255); };
    return {clamp(yy + 1.596027 * (cr - 128)),
            clamp(yy - 0.391762 * (cb - 128) - 0.812968 * (cr - 128)),
            clamp(yy + 2.017232 * (cb - 128))};
}

inline bool Near(QRgb pixel, Rgb expected, int tolerance = 14) {
    return std::abs(qRed(pixel) - expected.r) <= tolerance &&
           std::abs(qGreen(pixel) - expected.g) <= tolerance &&
           std::abs(qBlue(pixel) - expected.b) <= tolerance;
}

// The most common colour along a horizontal line of a region: the flat background wins over the
// moving bar and the digits.
inline QRgb CommonColour(const QImage& image, int left, int right, int y) {
    std::map<QRgb, int> seen;
    for (int x = left; x < right; ++x) {
        ++seen[image.pixel(x, y) & 0xF0F0F0];  // small coding noise falls together
    }
    return std::max_element(seen.begin(), seen.end(),
                            [](auto& a, auto& b) { return a.second < b.second; })
        ->first;
}

// A pane's rectangle in an image of the surface of height `surfaceHeight` (Qt's top-left
// coordinates).
inline QRect PaneOnScreen(const ViewController& vc, int pane, int surfaceHeight) {
    const PaneRect r = vc.LayoutCopy().m_screenRect[pane].FrameRect;
    return QRect(static_cast<int>(r.x), surfaceHeight - static_cast<int>(r.y + r.height),
                 static_cast<int>(r.width), static_cast<int>(r.height));
}

// Whether the region `p` of `image` shows camera `channel`: its background colour in the middle,
// the light band at the top and the dark band at the bottom.
inline bool RegionShows(const QImage& image, const QRect& p, int channel, int tolerance) {
    const PatternChroma c = TestPatternChroma(channel);
    const Rgb background = Bt601(TestPatternBackground(channel), c.cb, c.cr);
    const Rgb top = Bt601(200, c.cb, c.cr);
    const Rgb bottom = Bt601(30, c.cb, c.cr);
    const int left = p.left() + p.width() / 2;
    const int right = p.right() - 2;
    return Near(CommonColour(image, left, right, p.top() + p.height() * 3 / 5) | 0x080808,
                background, tolerance - 6) &&
           Near(image.pixel(p.right() - 4, p.top() + 3), top, tolerance) &&
           Near(image.pixel(p.right() - 4, p.bottom() - 3), bottom, tolerance);
}

// How a region of the surface looks: its mean brightness, and how many of its pixels are nearly
// white (text) or nearly the background grey.
struct Look {
    double brightness = 0;
    int white = 0;
    int grey = 0;
    int pixels = 0;
};
Look LookOf(const QImage& image, const QRect& region);

// Pixels whose brightness differs by more than a little between two pictures of the same size.
inline int Differing(const QImage& a, const QImage& b) {
    int n = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            n += std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y))) > 40 ? 1 : 0;
        }
    }
    return n;
}

// The surface on its own, with a controller that shows nothing: what is drawn is the test's.
struct LoneSurface {
    LoneSurface() {
        context.Attach(vc);
        EXPECT_TRUE(context.panes()->Allocate());
    }
    ~LoneSurface() { context.Clear(); }
    RecordingUi ui;
    ViewController vc{ui};
    CoreContext context;
};
