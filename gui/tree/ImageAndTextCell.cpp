#include "gui/tree/ImageAndTextCell.h"

#include <QApplication>
#include <QPainter>

#include <algorithm>

#include "core/ViewController.h"
#include "gui/support/CoreContext.h"
#include "gui/tree/BaseNode.h"
#include "gui/tree/DvrTreeModel.h"

ImageAndTextCell::ImageAndTextCell(CoreContext& context, QObject* parent)
    : QStyledItemDelegate(parent), context_(context) {}

QRect ImageAndTextCell::ImageRect(const QRect& cell) {
    const int spare = cell.height() - kImageSide;
    const int top = cell.y() - 1 + (spare + 1) / 2;  // rounded up, as in the row's own units
    return QRect(cell.x() + kGap, std::max(cell.y(), top), kImageSide, kImageSide);
}

QRect ImageAndTextCell::TextRect(const QRect& cell) {
    const int slice = kImageSide + kGap;
    return QRect(cell.x() + slice + 2, cell.y() + 2, std::max(0, cell.width() - slice - 2),
                 std::max(0, cell.height() - 4));
}

void ImageAndTextCell::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();

    // The row's background and selection, without the style's own text or icon.
    QStyleOptionViewItem background(opt);
    background.text.clear();
    background.icon = QIcon();
    background.features &= ~QStyleOptionViewItem::HasDecoration;
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);

    auto* model = qobject_cast<const DvrTreeModel*>(index.model());
    BaseNode* node = model ? model->NodeFor(index) : nullptr;
    NodeImage image;
    if (node && node->isLeaf()) {
        image = node->nodeIcon();  // a leaf keeps the icon it was given
    } else if (node) {
        const int dvr = DvrTreeModel::TopLevelRow(index);
        ViewController* vc = context_.controller();
        image = icons_.ForIcon(vc ? vc->NodeIconFor(dvr) : NodeIcon::Disconnected);
        node->setNodeIcon(image);
    }
    if (!image.isNull()) {
        painter->drawPixmap(ImageRect(opt.rect), image.pixmap);
    }

    const QRect text = TextRect(opt.rect);
    const bool selected = opt.state & QStyle::State_Selected;
    const QPalette::ColorGroup group = !(opt.state & QStyle::State_Enabled) ? QPalette::Disabled
                                       : (opt.state & QStyle::State_Active) ? QPalette::Normal
                                                                            : QPalette::Inactive;
    painter->save();
    painter->setFont(opt.font);
    painter->setPen(
        opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    const QString shown = opt.fontMetrics.elidedText(opt.text, Qt::ElideRight, text.width());
    painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
    painter->restore();
}

QSize ImageAndTextCell::sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    const int textWidth = opt.fontMetrics.horizontalAdvance(opt.text);
    const int height = std::max(kImageSide + 4, opt.fontMetrics.height() + 4);
    return QSize(textWidth + kImageSide + kGap + 2 + 4, height);
}
