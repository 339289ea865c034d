#pragma once

#include <QTime>

// The system clock as the program reads it.
class Clock {
public:
    virtual ~Clock() = default;
    // Time of day, to the millisecond.
    virtual QTime timeOfDay() const = 0;
    // Seconds since midnight, with fractions (0 <= s < 86400).
    double secondsSinceMidnight() const { return timeOfDay().msecsSinceStartOfDay() / 1000.0; }
};
