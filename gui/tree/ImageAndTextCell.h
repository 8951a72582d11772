// The tree's name cell: the node's 16 x 16 icon, then its title. For a DVR node the icon is
// chosen each time the row is drawn, from the DVR's connection state, and kept as the node's
// nodeIcon (which the model reports as the row's tooltip and accessible description).
//
// Threads: GUI thread only.
#pragma once

#include <QStyledItemDelegate>

#include "gui/tree/NodeIcons.h"

class CoreContext;

class ImageAndTextCell : public QStyledItemDelegate {
    Q_OBJECT

  public:
    static constexpr int kImageSide = 16;
    static constexpr int kGap = 3;

    // The icons follow the connection states the controller of `context` reports.
    explicit ImageAndTextCell(CoreContext& context, QObject* parent = nullptr);
    void setIcons(const NodeIcons& icons) { icons_ = icons; }

    // Where the icon goes in a cell: gap + icon wide slice at the left, vertically centred.
    static QRect ImageRect(const QRect& cell);
    // What is left for the title: right of the slice, 2 in from the top and left, 4 shorter.
    static QRect TextRect(const QRect& cell);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  private:
    CoreContext& context_;
    NodeIcons icons_;
};
