#pragma once
#include <QString>

// Gives a control its object name, by which the tests and the accessibility tree find it; returns the control.
template <class W> W *Named(W *widget, const char *name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}
