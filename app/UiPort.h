// Everything the core asks of the window system. MainWindow implements it with Qt; core tests and
// the command-line probe implement it without a display.
#pragma once

#include <optional>
#include <string>

class UiPort {
  public:
    virtual ~UiPort() = default;

    // A modal message box. Callable from any thread; returns once the operator dismissed it.
    // `heading` is the DVR's server text for boxes about one DVR, absent otherwise.
    virtual void messageBox(const std::optional<std::string>& heading, const std::string& text) = 0;

    // Sets the title of the tree's top-level node `dvr`. Any thread; posted, never waits.
    virtual void setNodeTitle(int dvr, const std::string& title) = 0;

    // Redraws the DVR tree (its status icons). Any thread; posted, never waits.
    virtual void reloadTree() = 0;

    // A superuser's playback session is logged in: show the playback window for DVR `dvr`,
    // addressed by `serverText`, with `channelCount` channels. Called from the connect thread.
    virtual void openPlayback(int dvr, const std::string& serverText, int channelCount) = 0;
};
