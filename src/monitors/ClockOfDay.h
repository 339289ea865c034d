#pragma once

#include <QTime>

// Milliseconds from then to now on the clock of the day, across midnight.
inline qint64 msSince(const QTime& then, const QTime& now) {
    constexpr qint64 dayMs = 24LL * 60 * 60 * 1000;
    const qint64 elapsed = then.msecsTo(now);
    return elapsed < 0 ? elapsed + dayMs : elapsed;
}
