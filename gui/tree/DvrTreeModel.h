// The DVR tree's model: the top-level nodes (`contents`), one row per saved DVR in list order, so
// that row i always stands for DVR number i. DVR nodes have no children; the one column is
// "NameColumn". Titles are not editable in place: nothing would write them back to the list.
//
// Threads: GUI thread only. Other threads reach it through the window-system port.
#pragma once

#include <QAbstractItemModel>
#include <QList>

#include "gui/tree/BaseNode.h"
#include "gui/tree/TreeAdditionObj.h"

class DvrTreeModel : public QAbstractItemModel {
    Q_OBJECT

  public:
    explicit DvrTreeModel(QObject* parent = nullptr);

    // Appends a DVR node titled with the request's nodeName at the end.
    void performAddDVRNode(const TreeAdditionObj& request);
    // Removes top-level node `row`; out-of-range rows are ignored.
    void RemoveNode(int row);
    void SetNodeTitle(int row, const QString& title);

    // The top-level nodes, in order.
    const QList<BaseNode::Ptr>& contents() const { return contents_; }
    BaseNode* NodeAt(int row) const;
    BaseNode* NodeFor(const QModelIndex& index) const;
    // The top-level row an index belongs to, -1 for an invalid index.
    static int TopLevelRow(const QModelIndex& index);

    // QAbstractItemModel
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  private:
    QList<BaseNode::Ptr> contents_;
};
