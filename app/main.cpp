// The process entry: the window, the controller on the window's port, the start-up sequence,
// the event loop, then an orderly end. Nothing is written at the end: the saved list was
// written at every change.
#include <QApplication>

#include "core/ViewController.h"
#include "gui/main/MainWindow.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmarsh"));
    MainWindow window;                           // destroyed last: the controller talks to it
    ViewController controller(window.uiPort());  // destroyed first
    window.start(controller);
    window.show();
    const int code = QApplication::exec();
    window.stop();
    return code;
}
