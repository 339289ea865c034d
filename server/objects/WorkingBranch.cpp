#include "WorkingBranch.h"

#include "ProcessVariables.h"
#include "ValueText.h"

std::optional<WorkingBranch> WorkingBranch::of(const ProcessVariables& variables) {
    const std::optional<qint64> firma = wholeNumber(variables.value(QStringLiteral("FIRMA")));
    const std::optional<qint64> filiale = wholeNumber(variables.value(QStringLiteral("FIL")));
    if (!firma || !filiale) {
        return std::nullopt;
    }
    return WorkingBranch{*firma, *filiale};
}
