// The process entry: the command line (a bad one ends the run before any window opens), the
// window, the controller on the window's port, the start-up sequence and options, the event
// loop, then an orderly end. Nothing is written at the end: the saved list was written at every
// change.
#include <QApplication>
#include <QScreen>

#include <cstdio>

#include "core/ViewController.h"
#include "core/directory/DvrList.h"
#include "gui/main/MainWindow.h"
#include "gui/main/StartOptions.h"
#include "gui/main/ViewStore.h"

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    const StartCommand command = ParseStartOptions(arguments);
    if (command.exitCode) {
        std::fputs(command.out.c_str(), stdout);
        std::fputs(command.error.c_str(), stderr);
        return *command.exitCode;
    }
    const StartOptions& options = command.options;
    // What the options name is looked up before Qt opens the display: without one, a bad name
    // still ends with its message. The list and the views are plain files.
    const std::vector<std::string> names =
        SavedDvrNames(options.listFile.empty() ? DvrList::ListFilePath() : options.listFile);
    std::string error = MissingFor(options, ViewStore().names());
    const std::optional<std::vector<int>> dvrs =
        error.empty() ? DvrsToConnect(options, names, error) : std::nullopt;
    if (!dvrs) {
        std::fputs(error.c_str(), stderr);
        return 2;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmarsh"));
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (options.screen >= static_cast<int>(screens.size())) {
        std::fprintf(stderr, "quillmarsh: there is no screen %d (screens: %d)\n", options.screen,
                     static_cast<int>(screens.size()));
        return 2;
    }
    MainWindow window;                           // destroyed last: the controller talks to it
    ViewController controller(window.uiPort());  // destroyed first
    if (!options.listFile.empty()) {
        controller.list().SetFilePath(options.listFile);
    }
    window.Start(controller);
    if (options.screen >= 0) {
        const QRect area = screens[options.screen]->availableGeometry();
        window.move(area.topLeft());
    }
    window.show();
    ApplyStartOptions(window, controller, options, *dvrs);
    const int code = QApplication::exec();
    window.Stop();
    return code;
}
