#pragma once

#include <QHostAddress>
#include <QString>

// The name under which the server counts a peer: its places, unfinished handshakes, share of the
// frame memory, log lines and sign-in failures. An IPv4 address (also one mapped into IPv6) is
// itself; an IPv6 address stands for its network of prefixBits (a /64 by default), since one
// peer usually holds a whole /64 and could otherwise take a fresh allowance with every address.
class AddressKey {
public:
    static constexpr int kDefaultIpv6PrefixBits = 64;

    // "192.0.2.7", "2001:db8:1:2::/64"; "unknown" for a null address.
    static QString of(const QHostAddress& address, int ipv6PrefixBits = kDefaultIpv6PrefixBits);
};
