// The process entry: the command line (a bad one ends the run before any window opens; --version
// also names the Qt and FFmpeg libraries the process runs with), the window, the controller on the
// window's port, the start-up sequence and options, the event loop, then an orderly end. Nothing is
// written at the end: the saved list was written at every change.
#include <QApplication>
#include <QIcon>
#include <QScreen>
#include <QtGlobal>

#include <cstdio>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
}

#include "core/ViewController.h"
#include "core/directory/DvrList.h"
#include "gui/main/MainWindow.h"
#include "gui/main/StartOptions.h"
#include "gui/main/ViewStore.h"

namespace {

std::string LibraryVersion(const char* name, unsigned version) {
    return std::string(name) + " " + std::to_string(AV_VERSION_MAJOR(version)) + "." +
           std::to_string(AV_VERSION_MINOR(version)) + "." +
           std::to_string(AV_VERSION_MICRO(version));
}

// The libraries as loaded, not as built against: an installed package runs with whatever the
// system's packages hold now. No display is needed.
std::string LibraryVersions() {
    return "Qt " + std::string(qVersion()) + " (built with " QT_VERSION_STR ")\nFFmpeg " +
           av_version_info() + ": " + LibraryVersion("libavcodec", avcodec_version()) + ", " +
           LibraryVersion("libavformat", avformat_version()) + ", " +
           LibraryVersion("libavutil", avutil_version()) + " (built with " LIBAVCODEC_IDENT ")\n";
}

}  // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    StartCommand command = ParseStartOptions(arguments);
    // The parser's answer to --version names the program; the libraries are added here, where
    // they are linked.
    if (command.exitCode == 0 && command.out == "quillmarsh " QUILLMARSH_VERSION "\n") {
        command.out += LibraryVersions();
    }
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
    // The installed desktop entry and icon (none when run from the build folder).
    QGuiApplication::setDesktopFileName(QStringLiteral("quillmarsh"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("quillmarsh")));
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
