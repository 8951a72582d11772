// A tree icon together with the name of the resource it stands for ("user.tiff", ...). The name
// is what tooltips and accessibility report, since the picture itself says nothing to a reader.
#pragma once

#include <QMetaType>
#include <QPixmap>
#include <QString>

struct NodeImage {
    QString name;
    QPixmap pixmap;

    bool isNull() const { return pixmap.isNull(); }
    friend bool operator==(const NodeImage& a, const NodeImage& b) {
        return a.name == b.name && a.pixmap.cacheKey() == b.pixmap.cacheKey();
    }
};

Q_DECLARE_METATYPE(NodeImage)
