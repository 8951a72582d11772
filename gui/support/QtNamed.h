// Every control carries its field name as object name and accessible description, so that tests
// and assistive tools find it by the name the code uses.
#pragma once

#include <QString>

template <class W>
W* Named(W* widget, const QString& name) {
    widget->setObjectName(name);
    widget->setAccessibleDescription(name);
    return widget;
}
