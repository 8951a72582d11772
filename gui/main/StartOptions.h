// The client's command line: which list to use and what the window does at start-up (connect,
// split, page, full screen, screen). It is read before any window opens, so that a bad option
// ends the run with a message and status 2 without a display.
//
//   quillmarsh [--list FILE] [--connect all|NAME...] [--split N] [--page P] [--view NAME]
//              [--tour SECONDS] [--fullscreen] [--screen N] [--help] [--version]
#pragma once

#include <QStringList>

#include <optional>
#include <string>
#include <vector>

class MainWindow;
class ViewController;

struct StartOptions {
    std::string listFile;  // read and saved instead of ~/userinfo/info.uss when set
    bool connectAll = false;
    std::vector<std::string> connectNames;  // display names, in the order given
    int split = 0;                          // a split button's count; 0 leaves the split alone
    int page = 1;                           // the page of that split, from 1
    std::string view;                       // a saved view to recall
    int tourSeconds = 0;                    // a tour of the saved views at this pace; 0 for none
    bool fullScreen = false;
    int screen = -1;  // the screen to open on, from 0; -1 leaves it to the window system
};

struct StartCommand {
    StartOptions options;
    std::optional<int> exitCode;  // set when the run ends here (help, version, a bad option)
    std::string out;              // for standard output (help, version)
    std::string error;            // for standard error (what was wrong)
};

// Reads the arguments (the first is the program).
StartCommand ParseStartOptions(const QStringList& arguments);

// The DVR numbers to connect, in list order, from the display names of the list's entries; an
// unknown name is an error that names it.
std::optional<std::vector<int>> DvrsToConnect(const StartOptions& options,
                                              const std::vector<std::string>& names,
                                              std::string& error);

// The display names of the entries of the list file at `path`, in list order; none when it
// cannot be read. Needs no display.
std::vector<std::string> SavedDvrNames(const std::string& path);

// What the saved views must hold for the options: the view named, and views for a tour. Empty
// when they hold it, else what is missing.
std::string MissingFor(const StartOptions& options, const QStringList& viewNames);

// Carries the options out on a started window, as the operator would: each DVR is connected
// from the tree, one named DVR is shown alone and several in the all-DVR view; then the view is
// recalled, the split shown on its page, the tour started, and full screen.
void ApplyStartOptions(MainWindow& window, ViewController& vc, const StartOptions& options,
                       const std::vector<int>& dvrs);
