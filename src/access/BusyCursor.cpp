#include "access/BusyCursor.h"

#include "platform/MouseCursor.h"

BusyCursor::BusyCursor(MouseCursor& cursor)
    : m_cursor(cursor) {
}

void BusyCursor::begin() {
    if (m_count++ == 0) {
        m_before = m_cursor.current();
        m_cursor.set(MouseCursor::ArrowHourglass);
    }
}

void BusyCursor::end() {
    // A pointer set meanwhile on purpose (the error report's arrow) stays.
    if (m_count > 0 && --m_count == 0 && m_cursor.current() == MouseCursor::ArrowHourglass) {
        m_cursor.set(m_before);
    }
}
