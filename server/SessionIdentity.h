#pragma once

#include <QString>

// Whom a session belongs to after its sign-in.
struct SessionIdentity {
    qint64 firma = 0;
    QString code;
    // The user's rights group as a number; a stored text that is no number counts as -1.
    int rightsGroup = -1;

    static constexpr int kTelemetryRightsGroup = 8;
    bool mayReadTelemetry() const { return rightsGroup >= kTelemetryRightsGroup; }
};
