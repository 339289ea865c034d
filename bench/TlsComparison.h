#pragma once

#include <QList>

class ServerProcess;

// The cheapest round trip (a property of an open object) over Qt's sockets, one request at a
// time per connection, against a clear-text server and a TLS server side by side: how much the
// encryption costs. Both go through the same driver, so only the link differs.
//
// Prints one row per server and connection count: requests per second, p50/p99/max latency.
void compareTls(ServerProcess& plain, ServerProcess& tls, const QString& caFile,
                const QList<int>& connections, double seconds, int runs);
