#include "platform/VisibleFocus.h"

#include <QEvent>
#include <QWidget>

void VisibleFocus::install(QWidget& window) {
    window.setAttribute(Qt::WA_KeyboardFocusChange);
    window.installEventFilter(new VisibleFocus(&window));
}

bool VisibleFocus::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::WindowActivate:
    case QEvent::FocusIn:
    case QEvent::ActivationChange:
        if (auto* window = qobject_cast<QWidget*>(watched)) {
            window->setAttribute(Qt::WA_KeyboardFocusChange);
        }
        break;
    default:
        break;
    }
    return false;
}
