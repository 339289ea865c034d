#pragma once

#include "AddressKey.h"
#include "PeerDeadlines.h"

#include "protocol/Limits.h"

#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QtGlobal>

#include <algorithm>

// What one server process allows its peers; docs/server.md turns these into the worst case of
// memory the process can be made to hold.
struct ServerLimits {
    // Places: sessions and TLS handshakes under way.
    int maxSessions = 256;
    // One address cannot take every place (an office behind one NAT address still gets 16).
    // Each failed sign-in holds one of them for the sign-in window.
    int maxSessionsPerAddress = 16;
    // Unfinished frames of all sessions together. Each address and each signed-in user may hold
    // a part of it; the first kFreeFrameBytes of every session are not drawn from it.
    qint64 frameBudgetBytes = 64 * 1024 * 1024;
    int frameBudgetParts = 8;
    // Replies of all sessions together that their peers have not read yet.
    qint64 replyBudgetBytes = 64 * 1024 * 1024;
    // A TLS handshake not complete by then is cut, and its place freed.
    int tlsHandshakeTimeoutMs = 10000;
    // Threads serving sessions (this one included), each with a connection to the database.
    int servingThreads = 1;
    // Password checks at the same time, each on a thread of its own with 64 MiB for its hash.
    int passwordCheckThreads = 2;
    // IPv6 peers are counted by their network of this prefix.
    int ipv6PrefixBits = AddressKey::kDefaultIpv6PrefixBits;
    PeerDeadlines timeouts;
    // Balancers (network, prefix length) whose connections begin with a PROXY header naming
    // the client: places, throttle and log lines count that client. Connections from anywhere
    // else are taken as they come, a PROXY header from them is nobody's word.
    QList<QPair<QHostAddress, int>> proxyFrom;

    // Never less than one frame of the largest size.
    qint64 frameBudgetPart() const {
        return std::max<qint64>(frameBudgetBytes / frameBudgetParts, protocol::MaxFrameBytes);
    }
};
