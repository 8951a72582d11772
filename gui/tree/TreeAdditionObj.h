// The request to insert one node into the DVR tree.
#pragma once

#include <QList>
#include <QString>

class TreeAdditionObj {
  public:
    TreeAdditionObj(const QString& url, const QString& name, bool selectParent)
        : nodeURL(url), nodeName(name), selectItsParent(selectParent) {}

    QList<int> indexPath;  // where to insert; never set: DVR nodes are appended
    QString nodeURL;       // null for DVR nodes
    QString nodeName;      // the title of the new node
    bool selectItsParent;  // false for DVR nodes
};
