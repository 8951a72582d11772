// The main window with a controller on a temporary HOME, and helpers to drive it as an operator
// would: the tree's context menu, the modal boxes, the saved list file.
#pragma once

#include <gtest/gtest.h>

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/ViewController.h"
#include "core/directory/SaveInfo.h"
#include "gui/main/MainWindow.h"
#include "gui/tree/NodeImage.h"
#include "tests/support/SimProcess.h"

class QMenu;

// Runs the event loop until `done` holds or the limit passes; returns whether it held.
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(10));
// Runs the event loop for a while.
void Pump(std::chrono::milliseconds time);

// Answers every modal message box that opens while it exists, recording what it showed.
class BoxAnswerer : public QObject {
  public:
    struct Box {
        QString text;
        QString informative;
        QStringList buttons;  // titles, in layout order
    };

    explicit BoxAnswerer(const QString& answer = QStringLiteral("OK"));
    void setAnswer(const QString& answer) { answer_ = answer; }
    const QList<Box>& boxes() const { return boxes_; }

  private:
    void answerOpenBox();

    QString answer_;
    QList<Box> boxes_;
    QTimer timer_;
};

// The context menu as it was shown, and the command chosen from it.
struct MenuSeen {
    QString title;
    QStringList items;
    QList<bool> enabled;
    bool anyShortcut = false;
};

class UiTest : public ::testing::Test {
  protected:
    UiTest();
    ~UiTest() override;

    // Creates the window and the controller and runs the start-up sequence; shows the window.
    void startApp();
    // The end of the run as main() does it: stop, then the controller, then the window.
    void endApp();
    void restartApp() {
        endApp();
        startApp();
    }

    std::string listPath() const { return home_.path() + "/userinfo/info.uss"; }
    // Writes a list file holding `entries` as entries 0.. and no pane assignment.
    void writeList(const std::vector<SAVE_INFO_STRUCT>& entries) const;
    std::vector<unsigned char> listBytes() const;
    // Entry i as it is in the file now.
    SAVE_INFO_STRUCT entryInFile(int i) const;

    QStringList titles() const;
    // Draws the tree now and tells whether row `row` shows `icon` (every opaque pixel of it).
    bool rowShows(int row, const NodeImage& icon) const;
    // The resource name of the icon row `row` got when the tree was drawn now.
    QString iconShown(int row) const;
    void select(int row);
    void deselect();
    // Opens the tree's context menu over `row` (right click, or from the keyboard over the
    // current row when row < 0) and chooses `item` (nothing when empty).
    MenuSeen chooseFromMenu(int row, const QString& item);
    MenuSeen chooseFromMenuByKeyboard(const QString& item, bool shiftF10);

    TempDir home_;
    std::string oldHome_;
    bool hadHome_ = false;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<ViewController> vc;

  private:
    MenuSeen chooseFromOpenMenu(const QString& item);
};

// A saved entry as the add dialog would make it, with a display name of its own.
SAVE_INFO_STRUCT Entry(const std::string& server, const std::string& name,
                       const std::string& user = "admin", const std::string& pass = "1234");
