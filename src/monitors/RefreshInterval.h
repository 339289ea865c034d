#pragma once

#include <QLocale>
#include <QString>

#include <optional>

// The refresh interval typed in seconds, as timer milliseconds: the strict reading of a
// decimal number in the user's format, times 1000, rounded halves to even. Empty, non-numeric
// and negative texts and anything beyond the timer's 65,535 ms give no interval.
class RefreshInterval {
public:
    static constexpr int kMaxMillis = 65535;

    static std::optional<int> millis(const QString& secondsText, const QLocale& locale);
};
