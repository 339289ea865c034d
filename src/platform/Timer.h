#pragma once

#include <functional>
#include <memory>

// A window timer: fires on the user-interface thread every interval() ms while enabled.
// An interval of 0 never fires (unlike a 0 ms QTimer, which would fire continuously).
class Timer {
public:
    virtual ~Timer() = default;

    virtual void setInterval(int ms) = 0;
    virtual int interval() const = 0;
    // Enabling (also re-enabling an enabled timer) starts a new full interval.
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
    void setOnTimeout(std::function<void()> handler) { m_onTimeout = std::move(handler); }

protected:
    void fire() {
        if (m_onTimeout) {
            m_onTimeout();
        }
    }

private:
    std::function<void()> m_onTimeout;
};

class TimerFactory {
public:
    virtual ~TimerFactory() = default;
    virtual std::unique_ptr<Timer> createTimer() = 0;
};
