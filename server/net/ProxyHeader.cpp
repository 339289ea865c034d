#include "ProxyHeader.h"

#include <QtEndian>

#include <algorithm>
#include <array>

namespace {

constexpr std::array<char, 12> kSignature{'\r', '\n', '\r', '\n', '\0', '\r',
                                          '\n', 'Q',  'U',  'I',  'T',  '\n'};
constexpr quint8 kVersion2 = 0x20;
constexpr quint8 kLocal = 0x00;
constexpr quint8 kProxy = 0x01;
constexpr quint8 kTcp4 = 0x11;
constexpr quint8 kTcp6 = 0x21;

quint8 byteAt(QByteArrayView bytes, qsizetype index) {
    return static_cast<quint8>(bytes[index]);
}

ProxyHeader invalid(const QString& problem) {
    ProxyHeader header;
    header.state = ProxyHeader::State::Invalid;
    header.problem = problem;
    return header;
}

} // namespace

bool ProxyHeader::mayStart(QByteArrayView bytes) {
    const qsizetype compared = std::min<qsizetype>(bytes.size(), qsizetype(kSignature.size()));
    return std::equal(bytes.begin(), bytes.begin() + compared, kSignature.begin());
}

ProxyHeader ProxyHeader::parse(QByteArrayView bytes) {
    if (!mayStart(bytes)) {
        return invalid(QStringLiteral("no PROXY protocol version 2 header"));
    }
    ProxyHeader header;
    if (bytes.size() < kFixedBytes) {
        return header;
    }
    const quint8 versionAndCommand = byteAt(bytes, 12);
    if ((versionAndCommand & 0xf0) != kVersion2) {
        return invalid(
            QStringLiteral("PROXY protocol version %1, not 2").arg(versionAndCommand >> 4));
    }
    const quint8 command = versionAndCommand & 0x0f;
    if (command != kLocal && command != kProxy) {
        return invalid(QStringLiteral("unknown PROXY command %1").arg(command));
    }
    const quint8 family = byteAt(bytes, 13);
    const qsizetype rest = qFromBigEndian<quint16>(bytes.data() + 14);
    header.size = kFixedBytes + rest;
    if (header.size > kMaxBytes) {
        return invalid(QStringLiteral("a PROXY header of %1 bytes").arg(header.size));
    }
    if (bytes.size() < header.size) {
        return header;
    }
    header.state = State::Complete;
    const char* addresses = bytes.data() + kFixedBytes;
    if (command == kProxy && family == kTcp4) {
        if (rest < 12) {
            return invalid(QStringLiteral("a PROXY header too short for its IPv4 addresses"));
        }
        header.source = QHostAddress(qFromBigEndian<quint32>(addresses));
        header.sourcePort = qFromBigEndian<quint16>(addresses + 8);
    } else if (command == kProxy && family == kTcp6) {
        if (rest < 36) {
            return invalid(QStringLiteral("a PROXY header too short for its IPv6 addresses"));
        }
        header.source = QHostAddress(reinterpret_cast<const quint8*>(addresses));
        header.sourcePort = qFromBigEndian<quint16>(addresses + 32);
    }
    return header;
}
