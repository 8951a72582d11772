#include "gui/tree/NodeIcons.h"

#include <QPainter>
#include <QPainterPath>

#include <functional>

namespace {

constexpr int kSide = 16;

// A person seen from the front, in `body`, outlined in `line`: every icon shares the shape so
// that only the colours and the crown tell the states apart. `headTop` leaves room for a crown.
void DrawPerson(QPainter& p, const QColor& body, const QColor& line, qreal headTop = 0.5) {
    p.setPen(QPen(line, 1));
    p.setBrush(body);
    const qreal side = headTop > 1 ? 5.5 : 7;
    p.drawEllipse(QRectF(8 - side / 2, headTop, side, side));  // head
    QPainterPath shoulders;
    shoulders.moveTo(1.5, 15.5);
    shoulders.cubicTo(1.5, 9.5, 14.5, 9.5, 14.5, 15.5);
    shoulders.closeSubpath();
    p.drawPath(shoulders);
}

NodeImage Make(const QString& name, const std::function<void(QPainter&)>& draw) {
    QPixmap pixmap(kSide, kSide);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    p.end();
    return NodeImage{name, pixmap};
}

}  // namespace

NodeIcons NodeIcons::Draw() {
    NodeIcons icons;
    // Grey: nobody logged in.
    icons.folderImage = Make(QStringLiteral("user.tiff"), [](QPainter& p) {
        DrawPerson(p, QColor(0x9a, 0x9e, 0xa6), QColor(0x4a, 0x4d, 0x52));
    });
    // Gold with a red crown: the superuser.
    icons.SuperImage = Make(QStringLiteral("usersupper.bmp"), [](QPainter& p) {
        DrawPerson(p, QColor(0xf0, 0xb0, 0x20), QColor(0x7a, 0x50, 0x00), 2.5);
        QPolygonF crown;
        crown << QPointF(4.5, 3) << QPointF(4.5, 0.5) << QPointF(6.5, 1.8) << QPointF(8, 0.5)
              << QPointF(9.5, 1.8) << QPointF(11.5, 0.5) << QPointF(11.5, 3);
        p.setPen(QPen(QColor(0x80, 0x00, 0x00), 1));
        p.setBrush(QColor(0xd0, 0x20, 0x20));
        p.drawPolygon(crown);
    });
    // Green: an ordinary user.
    icons.UserImage = Make(QStringLiteral("userpop.bmp"), [](QPainter& p) {
        DrawPerson(p, QColor(0x3c, 0xb0, 0x4c), QColor(0x1a, 0x5a, 0x24));
    });
    return icons;
}

const NodeImage& NodeIcons::ForIcon(NodeIcon icon) const {
    switch (icon) {
        case NodeIcon::SuperUser: return SuperImage;
        case NodeIcon::User: return UserImage;
        case NodeIcon::Disconnected: break;
    }
    return folderImage;
}
