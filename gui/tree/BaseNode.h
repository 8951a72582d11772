// A node of the DVR tree. Nodes are shared: the model's top-level list and a parent's child list
// hold them through std::shared_ptr, so create them with std::make_shared.
//
// Threads: GUI thread only.
#pragma once

#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <cstdint>
#include <memory>

#include "gui/tree/NodeImage.h"

class BaseNode : public std::enable_shared_from_this<BaseNode> {
  public:
    using Ptr = std::shared_ptr<BaseNode>;

    BaseNode();
    virtual ~BaseNode();
    BaseNode(const BaseNode&) = delete;
    BaseNode& operator=(const BaseNode&) = delete;

    const QString& nodeTitle() const { return nodeTitle_; }
    void SetNodeTitle(const QString& title) { nodeTitle_ = title; }

    // A leaf's only child is the leaf itself (made on request, so that a leaf does not own
    // itself); any other node holds its own copy of the list it was given.
    QList<Ptr> children() const;
    void setChildren(const QList<Ptr>& children);

    bool isLeaf() const { return isLeaf_; }
    // Replaces the children: a leaf gets itself, a group an empty list.
    void setIsLeaf(bool leaf);

    const NodeImage& nodeIcon() const { return nodeIcon_; }
    void setNodeIcon(const NodeImage& icon) { nodeIcon_ = icon; }

    // A location the node stands for; null (none) for DVR nodes.
    const QString& urlString() const { return urlString_; }
    void setUrlString(const QString& url) { urlString_ = url; }

    // Kept for completeness of the node's fields; nothing reads it.
    void setPath(int32_t path) { path_ = path; }

    // ---- Access by key -------------------------------------------------------------------------
    // The keys the generic operations below work over, in order.
    virtual QStringList mutableKeys() const;
    // An invalid QVariant when the node has no value for the key.
    virtual QVariant valueForKey(const QString& key) const;
    // An invalid value means "none": false for "isLeaf", cleared for the other keys.
    virtual void setValueForKey(const QString& key, const QVariant& value);

    // A new node of the same class with each key's value copied across; the children are shared
    // with this node, not copied.
    Ptr Copy() const;

    // Each key whose value is present; "children" holds the children's maps in order and is left
    // out for a leaf.
    QVariantMap dictionaryRepresentation() const;
    // Sets each key from the map. A leaf (by the map's "isLeaf") gets itself as its child;
    // otherwise each child map becomes a new node of this node's class.
    void initWithDictionary(const QVariantMap& map);

  protected:
    // A new, empty node of the same class as this one.
    virtual Ptr makeEmpty() const;

  private:
    QString nodeTitle_;
    QList<Ptr> children_;
    bool isLeaf_ = false;
    NodeImage nodeIcon_;
    QString urlString_;
    int32_t path_ = 0;
};

Q_DECLARE_METATYPE(BaseNode::Ptr)
