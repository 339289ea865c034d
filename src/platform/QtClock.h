#pragma once

#include "platform/Clock.h"

// The system's local time of day.
class QtClock : public Clock {
public:
    QTime timeOfDay() const override;
};
