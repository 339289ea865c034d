#pragma once

#include <QAccessible>
#include <QStringList>
#include <QWidget>

// The controls of a window that take the keyboard focus but that a screen reader could not
// announce: no accessible name, or no role of their own. Empty when every control is named.
inline QStringList unnamedControls(QWidget& window) {
    QStringList unnamed;
    for (QWidget* control : window.findChildren<QWidget*>()) {
        if (control->focusPolicy() == Qt::NoFocus || !control->isVisibleTo(&window)) {
            continue;
        }
        // The text box inside a spin box hands its focus to the spin box, which is announced.
        if (control->focusProxy()) {
            control = control->focusProxy();
        }
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
        const bool named = accessible && !accessible->text(QAccessible::Name).trimmed().isEmpty();
        const bool hasRole = accessible && accessible->role() != QAccessible::NoRole &&
                             accessible->role() != QAccessible::Client;
        if (!named || !hasRole) {
            unnamed << control->objectName() + QLatin1Char(':') +
                           QLatin1String(control->metaObject()->className());
        }
    }
    return unnamed;
}
