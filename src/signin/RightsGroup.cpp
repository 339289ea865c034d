#include "signin/RightsGroup.h"

#include <cmath>
#include <optional>

namespace {

constexpr double LowestAdmittedGroup = 8.0;

std::optional<double> readNumber(const QString& text, const QLocale& locale) {
    const QString trimmed = text.trimmed();
    bool ok = false;
    double value = locale.toDouble(trimmed, &ok);
    if (!ok) {
        value = QLocale::c().toDouble(trimmed, &ok);
    }
    if (!ok || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

} // namespace

bool rightsGroupPasses(const QString& gBerGrp) {
    return rightsGroupPasses(gBerGrp, QLocale());
}

bool rightsGroupPasses(const QString& gBerGrp, const QLocale& locale) {
    const std::optional<double> group = readNumber(gBerGrp, locale);
    return group.has_value() && *group >= LowestAdmittedGroup;
}
