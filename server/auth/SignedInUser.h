#pragma once

#include "ValueText.h"

#include <QString>

// Whom a session belongs to after its sign-in.
struct SignedInUser {
    qint64 firma = 0;
    QString code;
    // The user's rights group as a number; a stored text that is no number counts as -1.
    int rightsGroup = -1;
    // The stored password hash the sign-in was checked against: a new password (or none)
    // makes the account another one.
    QString passwordHash;

    static constexpr int kTelemetryRightsGroup = 8;
    // The rights group of a stored text; -1 for one that is no number from 0 to 1000.
    static int rightsGroupFrom(const QString& stored) {
        const std::optional<qint64> number = wholeNumber(stored);
        return number && *number >= 0 && *number <= 1000 ? static_cast<int>(*number) : -1;
    }
    bool mayReadTelemetry() const { return rightsGroup >= kTelemetryRightsGroup; }
};
