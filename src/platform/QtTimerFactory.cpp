#include "platform/QtTimerFactory.h"

#include "platform/QtTimer.h"

std::unique_ptr<Timer> QtTimerFactory::createTimer() {
    return std::make_unique<QtTimer>();
}
