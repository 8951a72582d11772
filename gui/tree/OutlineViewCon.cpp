#include "gui/tree/OutlineViewCon.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

#include <algorithm>

#include "core/ViewController.h"
#include "core/support/FixedText.h"
#include "gui/support/CoreContext.h"
#include "gui/tree/DvrTreeModel.h"
#include "gui/tree/ReconnectSetting.h"

OutlineViewCon::OutlineViewCon(CoreContext& context, QWidget* parent)
    : QTreeView(parent), context_(context) {
    setObjectName(QStringLiteral("myOutlineView"));
    setAccessibleName(QStringLiteral("DVR list"));
    setAccessibleDescription(QStringLiteral("myOutlineView"));
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setContextMenuPolicy(Qt::DefaultContextMenu);
}

QList<BaseNode*> OutlineViewCon::selectedItems() const {
    QList<BaseNode*> nodes;
    auto* tree = qobject_cast<DvrTreeModel*>(model());
    if (!tree || !selectionModel()) {
        return nodes;
    }
    QModelIndexList rows = selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end());
    for (const QModelIndex& i : rows) {
        if (BaseNode* node = tree->NodeFor(i)) {
            nodes.append(node);
        }
    }
    return nodes;
}

int OutlineViewCon::SelectedTopLevelRow() const {
    if (!selectionModel()) {
        return -1;
    }
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : DvrTreeModel::TopLevelRow(rows.first());
}

QMenu* OutlineViewCon::MakeContextMenu(QWidget* parent) {
    auto* menu = new QMenu(QStringLiteral("Contextual Menu"), parent);
    menu->setObjectName(QStringLiteral("contextualMenu"));
    menu->addAction(QStringLiteral("NewIP"), this, &OutlineViewCon::NewIP);
    menu->addAction(QStringLiteral("connectDVR"), this, &OutlineViewCon::connectDVR);
    menu->addAction(QStringLiteral("NetPlayBack"), this, &OutlineViewCon::NetPlayBack);
    menu->addAction(QStringLiteral("DisconnectDVR"), this, &OutlineViewCon::DisconnectDVR);
    menu->addAction(QStringLiteral("Delete"), this, &OutlineViewCon::DelDVR);
    menu->addAction(QStringLiteral("Property"), this, &OutlineViewCon::ShowDVRProperty);
    // Kept apart from the list's own commands: it is the operator's setting, not a command.
    menu->addSeparator();
    QAction* reconnect = menu->addAction(QStringLiteral("Reconnect automatically"));
    reconnect->setObjectName(QStringLiteral("reconnectAutomatically"));
    reconnect->setCheckable(true);
    ViewController* vc = context_.controller();
    const int dvr = SelectedTopLevelRow();
    if (vc && dvr >= 0) {
        const std::string server(TextOf(vc->EntryCopy(dvr).server));
        reconnect->setChecked(ReconnectAutomatically(server));
        connect(reconnect, &QAction::toggled, this,
                [server](bool on) { SetReconnectAutomatically(server, on); });
    } else {
        reconnect->setEnabled(false);
    }
    return menu;
}

void OutlineViewCon::NewIP() {
    Q_EMIT addDvrRequested();
}

void OutlineViewCon::connectDVR() {
    if (ViewController* vc = context_.controller()) {
        vc->ConnectDVR();
    }
}

void OutlineViewCon::NetPlayBack() {
    if (ViewController* vc = context_.controller()) {
        vc->NetPlayBack();
    }
}

void OutlineViewCon::DisconnectDVR() {
    if (ViewController* vc = context_.controller()) {
        vc->DisconnectDVR();
    }
}

void OutlineViewCon::DelDVR() {
    if (ViewController* vc = context_.controller()) {
        const int dvr = vc->GetCurrentDVR();
        const int before = vc->DvrCount();
        vc->DeleteUser();
        if (dvr >= 0 && vc->DvrCount() < before) {
            Q_EMIT dvrDeleted(dvr);
        }
    }
}

void OutlineViewCon::ShowDVRProperty() {
    Q_EMIT propertyRequested();
}

void OutlineViewCon::contextMenuEvent(QContextMenuEvent* event) {
    QPoint at = event->globalPos();
    if (event->reason() != QContextMenuEvent::Mouse) {
        // From the keyboard: at the current row, or the top left of the list.
        const QRect row = visualRect(currentIndex());
        at = viewport()->mapToGlobal(row.isValid() ? row.center() : QPoint(8, 8));
    }
    QMenu* menu = MakeContextMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(at);
    event->accept();
}

void OutlineViewCon::keyPressEvent(QKeyEvent* event) {
    // The Menu key arrives as a context-menu event from the platform; Shift+F10 does not.
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        const QRect row = visualRect(currentIndex());
        const QPoint pos = row.isValid() ? row.center() : QPoint(8, 8);
        QContextMenuEvent menuEvent(QContextMenuEvent::Keyboard, pos, viewport()->mapToGlobal(pos));
        contextMenuEvent(&menuEvent);
        return;
    }
    QTreeView::keyPressEvent(event);
}

// The right button opens the menu only; the selection stays what it was.
void OutlineViewCon::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QTreeView::mousePressEvent(event);
}

void OutlineViewCon::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QTreeView::mouseReleaseEvent(event);
}

void OutlineViewCon::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QTreeView::mouseDoubleClickEvent(event);
}

void OutlineViewCon::selectionChanged(const QItemSelection& selected,
                                      const QItemSelection& deselected) {
    QTreeView::selectionChanged(selected, deselected);
    ViewController* vc = context_.controller();
    if (vc && reactToSelection_) {
        vc->outlineViewSelectionDidChange();
    }
}
