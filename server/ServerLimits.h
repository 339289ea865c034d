#pragma once

#include "SessionTimeouts.h"

#include <QtGlobal>

// What one server process allows its peers; docs/server.md turns these into the worst case of
// memory the process can be made to hold.
struct ServerLimits {
    int maxSessions = 256;
    // One address cannot take every place (an office behind one NAT address still gets 16).
    int maxSessionsPerAddress = 16;
    // Unfinished frames of all sessions together.
    qint64 frameBudgetBytes = 64 * 1024 * 1024;
    // Replies of all sessions together that their peers have not read yet.
    qint64 replyBudgetBytes = 64 * 1024 * 1024;
    SessionTimeouts timeouts;
};
