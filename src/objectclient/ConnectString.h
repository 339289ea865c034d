#pragma once

#include <QString>

// Where a connection string points: "cn_iptcp:HOST[PORT]:NAMESPACE".
struct ConnectTarget {
    QString host;
    quint16 port = 0;
    QString nameSpace;

    bool operator==(const ConnectTarget&) const = default;
};

// Parses "cn_iptcp:HOST[PORT]:NAMESPACE" (the prefix in any letter case). The host may be a name,
// an IPv4 address or an IPv6 address, with blanks around it ignored; the port is 1 to 65535 in
// decimal digits; the namespace is letters, digits, '%', '_', '-' or '.'. Anything else throws
// CacheError MalformedConnectString.
ConnectTarget parseConnectString(const QString& connectString);
