#pragma once

#include "platform/Timer.h"

// Makes QTimer-based window timers.
class QtTimerFactory : public TimerFactory {
public:
    std::unique_ptr<Timer> createTimer() override;
};
