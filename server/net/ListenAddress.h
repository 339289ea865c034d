#pragma once

#include <QHostAddress>
#include <QString>

#include <optional>

// An address to listen on, written HOST:PORT: an IPv4 address, an IPv6 address in brackets
// ("[::1]:1972") or "localhost"; port 0 lets the system choose a free port.
struct ListenAddress {
    QHostAddress host;
    quint16 port = 0;

    static std::optional<ListenAddress> parse(const QString& text);
};
