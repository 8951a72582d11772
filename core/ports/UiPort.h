// Everything the core asks of the window system. MainWindow implements it with Qt; core tests and
// the command-line probe implement it without a display.
#pragma once

#include <functional>
#include <optional>
#include <string>

class UiPort {
  public:
    virtual ~UiPort() = default;

    // A modal message box. Callable from any thread; returns once the operator dismissed it.
    // `heading` is the DVR's server text for boxes about one DVR, absent otherwise.
    virtual void MessageBox(const std::optional<std::string>& heading, const std::string& text) = 0;

    // The same box, opened once the caller has returned to the event loop, so that nothing the
    // caller runs (a timer's tick) waits for the operator; `closed` runs on the GUI thread once
    // the box was dismissed. GUI thread. Without an event loop the box is shown at once.
    virtual void MessageBoxLater(const std::optional<std::string>& heading, const std::string& text,
                                 std::function<void()> closed) {
        MessageBox(heading, text);
        if (closed) {
            closed();
        }
    }

    // Sets the title of the tree's top-level node `dvr`. Any thread; posted, never waits.
    virtual void SetNodeTitle(int dvr, const std::string& title) = 0;

    // Redraws the DVR tree (its status icons). Any thread; posted, never waits.
    virtual void ReloadTree() = 0;

    // Asks a yes/no question in a modal alert ("OK" / "Cancel"); true for OK. GUI thread.
    virtual bool Confirm(const std::string& message, const std::string& informative) = 0;

    // Appends a DVR node titled `title` at the end of the tree. Callable from any thread; returns
    // once the node is in the tree.
    virtual void AppendNode(const std::string& title) = 0;

    // Removes the tree's top-level node `index`; an open property dialog for that DVR or a later
    // one (whose entry moves) is closed. GUI thread.
    virtual void RemoveNode(int index) = 0;

    // The top-level index of the selected node, -1 when nothing is selected. GUI thread.
    virtual int SelectedDvr() = 0;

    // Deselects every node (the selection reaction then runs). GUI thread.
    virtual void ClearSelection() = 0;

    // Sets the DVR label beside the tree. Any thread; posted, never waits.
    virtual void SetDvrLabel(const std::string& text) = 0;

    // Whether DVR `dvr` is to be connected again by itself when its working connection is lost
    // (the operator's choice, kept outside the list file). GUI thread.
    virtual bool ReconnectAutomatically(int dvr) = 0;
};
