#include "SessionBranch.h"

#include "SessionVariables.h"
#include "ValueText.h"

std::optional<SessionBranch> SessionBranch::of(const SessionVariables& variables) {
    const std::optional<qint64> firma = wholeNumber(variables.value(QStringLiteral("FIRMA")));
    const std::optional<qint64> filiale = wholeNumber(variables.value(QStringLiteral("FIL")));
    if (!firma || !filiale) {
        return std::nullopt;
    }
    return SessionBranch{*firma, *filiale};
}
