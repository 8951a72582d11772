#include "gui/tree/BaseNode.h"

namespace {
const QString kTitle = QStringLiteral("nodeTitle");
const QString kIsLeaf = QStringLiteral("isLeaf");
const QString kChildren = QStringLiteral("children");
const QString kIcon = QStringLiteral("nodeIcon");
const QString kUrl = QStringLiteral("urlString");
}  // namespace

BaseNode::BaseNode() : nodeTitle_(QStringLiteral("BaseNode Untitled")) {}

BaseNode::~BaseNode() = default;

QList<BaseNode::Ptr> BaseNode::children() const {
    if (isLeaf_) {
        // The list hands out mutable nodes, also from a const leaf.
        Ptr self = std::const_pointer_cast<BaseNode>(weak_from_this().lock());
        return self ? QList<Ptr>{self} : QList<Ptr>{};
    }
    return children_;
}

void BaseNode::setChildren(const QList<Ptr>& children) {
    if (!isLeaf_) {
        children_ = children;
    }
}

void BaseNode::setIsLeaf(bool leaf) {
    isLeaf_ = leaf;
    children_.clear();
}

QStringList BaseNode::mutableKeys() const {
    return {kTitle, kIsLeaf, kChildren, kIcon, kUrl};
}

QVariant BaseNode::valueForKey(const QString& key) const {
    if (key == kTitle) {
        return nodeTitle_;
    }
    if (key == kIsLeaf) {
        return isLeaf_;
    }
    if (key == kChildren) {
        return QVariant::fromValue(children());
    }
    if (key == kIcon) {
        return nodeIcon_.isNull() ? QVariant() : QVariant::fromValue(nodeIcon_);
    }
    if (key == kUrl) {
        return urlString_.isNull() ? QVariant() : QVariant(urlString_);
    }
    return {};
}

void BaseNode::setValueForKey(const QString& key, const QVariant& value) {
    if (key == kTitle) {
        nodeTitle_ = value.toString();
    } else if (key == kIsLeaf) {
        setIsLeaf(value.isValid() && value.toBool());
    } else if (key == kChildren) {
        setChildren(value.value<QList<Ptr>>());
    } else if (key == kIcon) {
        nodeIcon_ = value.value<NodeImage>();
    } else if (key == kUrl) {
        urlString_ = value.isValid() ? value.toString() : QString();
    }
}

BaseNode::Ptr BaseNode::makeEmpty() const {
    return std::make_shared<BaseNode>();
}

BaseNode::Ptr BaseNode::Copy() const {
    Ptr node = makeEmpty();
    for (const QString& key : mutableKeys()) {
        node->setValueForKey(key, valueForKey(key));
    }
    return node;
}

QVariantMap BaseNode::dictionaryRepresentation() const {
    QVariantMap map;
    for (const QString& key : mutableKeys()) {
        if (key == kChildren) {
            if (!isLeaf_) {
                QVariantList list;
                for (const Ptr& child : children_) {
                    list.append(child->dictionaryRepresentation());
                }
                map.insert(key, list);
            }
            continue;
        }
        const QVariant value = valueForKey(key);
        if (value.isValid()) {
            map.insert(key, value);
        }
    }
    return map;
}

void BaseNode::initWithDictionary(const QVariantMap& map) {
    for (const QString& key : mutableKeys()) {
        if (key == kChildren) {
            continue;
        }
        if (map.contains(key)) {
            setValueForKey(key, map.value(key));
        } else if (key == kIsLeaf) {
            setIsLeaf(false);  // a missing flag means a group
        }
    }
    if (isLeaf_) {
        return;  // its child is itself
    }
    QList<Ptr> list;
    for (const QVariant& child : map.value(kChildren).toList()) {
        Ptr node = makeEmpty();
        node->initWithDictionary(child.toMap());
        list.append(node);
    }
    children_ = list;
}
