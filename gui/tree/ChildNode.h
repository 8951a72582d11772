// The node of one DVR in the tree.
//
// Threads: GUI thread only.
#pragma once

#include "gui/tree/BaseNode.h"

class ChildNode : public BaseNode {
  public:
    ChildNode();

    const QString& description() const { return description_; }
    void setDescription(const QString& d) { description_ = d; }
    // Replaces the whole text.
    const QString& text() const { return text_; }
    void setText(const QString& t) { text_ = t; }

    QStringList mutableKeys() const override;
    QVariant valueForKey(const QString& key) const override;
    void setValueForKey(const QString& key, const QVariant& value) override;

  protected:
    Ptr makeEmpty() const override;

  private:
    QString description_;
    QString text_;
};
