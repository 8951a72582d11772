#include "gui/tree/DvrTreeModel.h"

#include "gui/tree/ChildNode.h"

DvrTreeModel::DvrTreeModel(QObject* parent) : QAbstractItemModel(parent) {}

void DvrTreeModel::performAddDVRNode(const TreeAdditionObj& request) {
    const int row = static_cast<int>(contents_.size());
    auto node = std::make_shared<ChildNode>();
    node->SetNodeTitle(request.nodeName);
    beginInsertRows({}, row, row);
    contents_.append(node);
    endInsertRows();
}

void DvrTreeModel::RemoveNode(int row) {
    if (row < 0 || row >= contents_.size()) {
        return;
    }
    beginRemoveRows({}, row, row);
    contents_.removeAt(row);
    endRemoveRows();
}

void DvrTreeModel::SetNodeTitle(int row, const QString& title) {
    BaseNode* node = NodeAt(row);
    if (!node || node->nodeTitle() == title) {
        return;
    }
    node->SetNodeTitle(title);
    const QModelIndex i = index(row, 0);
    Q_EMIT dataChanged(i, i, {Qt::DisplayRole, Qt::AccessibleTextRole});
}

BaseNode* DvrTreeModel::NodeAt(int row) const {
    return row >= 0 && row < contents_.size() ? contents_[row].get() : nullptr;
}

BaseNode* DvrTreeModel::NodeFor(const QModelIndex& index) const {
    return index.isValid() && index.model() == this
               ? static_cast<BaseNode*>(index.internalPointer())
               : nullptr;
}

int DvrTreeModel::TopLevelRow(const QModelIndex& index) {
    QModelIndex top = index;
    while (top.parent().isValid()) {
        top = top.parent();
    }
    return top.isValid() ? top.row() : -1;
}

QModelIndex DvrTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (parent.isValid() || column != 0 || row < 0 || row >= contents_.size()) {
        return {};
    }
    return createIndex(row, column, contents_[row].get());
}

QModelIndex DvrTreeModel::parent(const QModelIndex&) const {
    return {};
}

int DvrTreeModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(contents_.size());
}

int DvrTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant DvrTreeModel::data(const QModelIndex& index, int role) const {
    const BaseNode* node = NodeFor(index);
    if (!node) {
        return {};
    }
    switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole: return node->nodeTitle();
        // The icon is drawn by the name cell; its resource name says what it shows.
        case Qt::ToolTipRole:
        case Qt::AccessibleDescriptionRole:
            return node->nodeIcon().isNull() ? QVariant() : QVariant(node->nodeIcon().name);
        default: return {};
    }
}

QVariant DvrTreeModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (section == 0 && orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        return QStringLiteral("NameColumn");
    }
    return {};
}

Qt::ItemFlags DvrTreeModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
