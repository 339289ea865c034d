#include "platform/QtClock.h"

QTime QtClock::timeOfDay() const {
    return QTime::currentTime();
}
