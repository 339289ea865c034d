#pragma once

#include "platform/Timer.h"

#include <QTimer>

// A window timer on a QTimer. Interval 0 means "never fires", whatever the enabled state.
class QtTimer : public Timer {
public:
    QtTimer();
    ~QtTimer() override;

    void setInterval(int ms) override;
    int interval() const override { return m_interval; }
    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return m_enabled; }

private:
    void restart();

    QTimer m_timer;
    int m_interval = 0;
    bool m_enabled = false;
};
