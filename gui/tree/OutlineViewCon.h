// The DVR tree view: one row per saved DVR, single selection, a context menu with the DVR
// commands. The menu opens on a right click or from the keyboard (the Menu key, Shift+F10) and
// never changes the selection: every command acts on the DVR selected before it.
//
// Threads: GUI thread only.
#pragma once

#include <QList>
#include <QTreeView>

class BaseNode;
class QMenu;
class CoreContext;

class OutlineViewCon : public QTreeView {
    Q_OBJECT

  public:
    // The commands and selection changes go to the controller of `context`, while it has one.
    explicit OutlineViewCon(CoreContext& context, QWidget* parent = nullptr);
    CoreContext& context() const { return context_; }

    // While off, selection changes are not reported to the controller (a row being removed
    // takes its selection with it; the controller reacts once the list is consistent again).
    void setSelectionReactionEnabled(bool enabled) { reactToSelection_ = enabled; }

    // The nodes of the selected rows, in row order.
    QList<BaseNode*> selectedItems() const;
    // The top-level row of the selection, -1 when nothing is selected.
    int SelectedTopLevelRow() const;

    // The context menu, titled "Contextual Menu"; the caller owns it.
    QMenu* MakeContextMenu(QWidget* parent);

    // The menu's commands.
    void NewIP();
    void connectDVR();
    void NetPlayBack();
    void DisconnectDVR();
    void DelDVR();
    void ShowDVRProperty();

  Q_SIGNALS:
    // The window owns the dialogs; the view only asks for them.
    void addDvrRequested();
    void propertyRequested();
    // DVR `dvr` was deleted from the list (the later ones moved down one number).
    void dvrDeleted(int dvr);

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void selectionChanged(const QItemSelection& selected,
                          const QItemSelection& deselected) override;

  private:
    CoreContext& context_;
    bool reactToSelection_ = true;
};
