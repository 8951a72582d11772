#include "gui/tree/ChildNode.h"

namespace {
const QString kDescription = QStringLiteral("description");
const QString kText = QStringLiteral("text");
}  // namespace

ChildNode::ChildNode()
    : description_(QStringLiteral("- empty description -")), text_(QStringLiteral("")) {
    SetNodeTitle(QStringLiteral(""));
}

QStringList ChildNode::mutableKeys() const {
    return BaseNode::mutableKeys() + QStringList{kDescription, kText};
}

QVariant ChildNode::valueForKey(const QString& key) const {
    if (key == kDescription) {
        return description_;
    }
    if (key == kText) {
        return text_;
    }
    return BaseNode::valueForKey(key);
}

void ChildNode::setValueForKey(const QString& key, const QVariant& value) {
    if (key == kDescription) {
        description_ = value.toString();
    } else if (key == kText) {
        text_ = value.toString();
    } else {
        BaseNode::setValueForKey(key, value);
    }
}

BaseNode::Ptr ChildNode::makeEmpty() const {
    return std::make_shared<ChildNode>();
}
