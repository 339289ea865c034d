#pragma once

#include <QString>

// Whether the connection to the server is encrypted, and whom to trust. With tls set, a
// connection is made with TLS or not at all: there is no fallback to clear text.
struct TcpSecurity {
    bool tls = false;
    // A PEM file of the certificates (usually the store network's own CA) that the server's
    // certificate must chain to; empty: the system's certificate store.
    QString caFile;
};
