// The window's keyboard commands: one table of name, text, key and what the key does, from which
// the window's actions are made (each a window shortcut, so it works wherever the focus is in the
// window) and which the sheet of keyboard shortcuts (F1) lists, in the table's order.
//
// Ownership: the window owns this; the actions and the sheet are the window's children.
//
// Threads: GUI thread only.
#pragma once

#include <QList>
#include <QString>

class CoreContext;
class MainWindow;
class QAction;
class QDialog;

class Shortcuts {
  public:
    // Makes every action on `window`; the commands reach the controller through `context`.
    Shortcuts(MainWindow& window, CoreContext& context);

    // Every keyboard command, in the sheet's order.
    const QList<QAction*>& actions() const { return actions_; }
    // The action of the command named `name` ("FullScreen"), or null.
    QAction* action(const QString& name) const;

    // The sheet of keyboard shortcuts: made on first use, listing actions(), then the held PTZ
    // keys, then what the video and the tree do with keys of their own and with the mouse.
    void ShowSheet();
    // F1: opens the sheet, or closes it when it is open.
    void ShowOrCloseSheet();

  private:
    MainWindow& window_;
    QList<QAction*> actions_;
    QDialog* sheet_ = nullptr;
};
