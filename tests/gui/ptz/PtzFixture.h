// The window with simulated DVRs whose logs show the PTZ records they received, and helpers to
// press and release the panel's buttons as the mouse does.
#pragma once

#include <QComboBox>
#include <QPushButton>

#include <memory>
#include <string>
#include <vector>

#include "gui/ptz/NSButtonEx.h"
#include "gui/ptz/PtzPanel.h"
#include "tests/gui/UiFixture.h"
#include "tests/support/ClientFixture.h"

class PtzWindowTest : public UiTest {
  protected:
    // A simulated DVR that streams nothing and logs what it receives into dvrN.log.
    std::unique_ptr<SimProcess> quietDvr(int slot);
    // Starts the window on a list of `count` DVRs; those with a simulator (by slot) are real.
    void startWith(int count, const std::vector<std::pair<int, const SimProcess*>>& sims);
    // Connects DVR `slot` from the tree's menu and waits for its login.
    void connectDvr(int slot);
    // Clicks pane `pane` of the video surface (a zoom, or back to the grid).
    void clickPane(int pane);

    NSButtonEx* held(const QString& name) const;
    QPushButton* button(const QString& name) const;
    QComboBox* list(const QString& name) const;
    // Mouse press in the middle of the button; release at `at` (in the button's coordinates), by
    // default in its middle.
    void press(QAbstractButton* b);
    void release(QAbstractButton* b);
    void release(QAbstractButton* b, QPoint at);

    // The PTZ records DVR `slot` received so far, and waiting for their number to reach n.
    std::vector<LoggedCommand> ptz(int slot) const;
    std::vector<LoggedCommand> waitForPtz(int slot, std::size_t n) const;

    TempDir logs;
};

// value, channel, parameter of a PTZ record.
std::vector<int> Ptz(const LoggedCommand& c);
