#pragma once

#include <QByteArrayView>
#include <QHostAddress>
#include <QString>

// The header a TCP balancer puts in front of a connection to name the client it comes from
// (the PROXY protocol, version 2, as HAProxy's send-proxy-v2 writes it): 12 bytes of signature,
// the version and command, the address family, the length of the rest, then the addresses.
struct ProxyHeader {
    enum class State { Incomplete, Invalid, Complete };

    static constexpr qsizetype kFixedBytes = 16;
    // Addresses of two IPv6 peers take 36 bytes; the rest may be extensions (TLVs), which are
    // skipped. More than this is no balancer's header.
    static constexpr qsizetype kMaxBytes = kFixedBytes + 512;

    // What the first bytes of a connection say; size is what a complete header takes.
    static ProxyHeader parse(QByteArrayView bytes);
    // Whether bytes (however few) can be the start of a header.
    static bool mayStart(QByteArrayView bytes);

    State state = State::Incomplete;
    // Bytes the header takes, once the fixed part has arrived.
    qsizetype size = kFixedBytes;
    // The client, for a PROXY command over TCP; null for LOCAL (the balancer's own check) and
    // for address families other than TCP over IPv4 or IPv6.
    QHostAddress source;
    quint16 sourcePort = 0;
    QString problem; // for Invalid
};
