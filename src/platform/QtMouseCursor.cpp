#include "platform/QtMouseCursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace {
// The classic numbers the program uses, mapped to Qt's shapes.
Qt::CursorShape shapeFor(int cursor) {
    switch (cursor) {
    case MouseCursor::Hourglass:
        return Qt::WaitCursor;
    case 3:
        return Qt::IBeamCursor;
    case MouseCursor::ArrowHourglass:
        return Qt::BusyCursor;
    default:
        return Qt::ArrowCursor;
    }
}
} // namespace

QtMouseCursor::~QtMouseCursor() {
    dropOverride();
}

void QtMouseCursor::set(int cursor) {
    m_cursor = cursor;
    if (cursor == Default) {
        dropOverride();
        return;
    }
    const QCursor shape(shapeFor(cursor));
    if (m_overridden) {
        QGuiApplication::changeOverrideCursor(shape);
    } else {
        QGuiApplication::setOverrideCursor(shape);
        m_overridden = true;
    }
}

void QtMouseCursor::dropOverride() {
    if (m_overridden && QGuiApplication::instance()) {
        QGuiApplication::restoreOverrideCursor();
    }
    m_overridden = false;
}
