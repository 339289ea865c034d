#pragma once

#include <QtGlobal>

#include <optional>

class ProcessVariables;

// The company and branch a session works for: its variables FIRMA and FIL.
struct WorkingBranch {
    qint64 firma = 0;
    qint64 filiale = 0;

    // Throws ServerError (Undefined) when FIRMA or FIL has no value; empty when one of them is
    // not a whole number, a branch that has no data.
    static std::optional<WorkingBranch> of(const ProcessVariables& variables);
};
