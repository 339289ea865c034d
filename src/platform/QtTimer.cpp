#include "platform/QtTimer.h"

#include <algorithm>

QtTimer::QtTimer() {
    m_timer.setTimerType(Qt::CoarseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { fire(); });
}

QtTimer::~QtTimer() {
    m_timer.stop();
}

void QtTimer::setInterval(int ms) {
    m_interval = std::max(ms, 0);
    restart();
}

void QtTimer::setEnabled(bool enabled) {
    m_enabled = enabled;
    restart();
}

void QtTimer::restart() {
    // A 0 ms QTimer would fire on every pass of the event loop; here it must stay silent.
    if (m_enabled && m_interval > 0) {
        m_timer.start(m_interval);
    } else {
        m_timer.stop();
    }
}
