#include "monitors/RefreshInterval.h"

#include "monitors/Decimal.h"

std::optional<int> RefreshInterval::millis(const QString& secondsText, const QLocale& locale) {
    const std::optional<Decimal> seconds = Decimal::parse(secondsText, locale);
    if (!seconds || seconds->isNegative()) {
        return std::nullopt;
    }
    const std::optional<std::int64_t> ms = seconds->roundedTimesPowerOfTen(3);
    if (!ms || *ms > kMaxMillis) {
        return std::nullopt;
    }
    return static_cast<int>(*ms);
}
