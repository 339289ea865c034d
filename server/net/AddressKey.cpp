#include "AddressKey.h"

#include <algorithm>

QString AddressKey::of(const QHostAddress& address, int ipv6PrefixBits) {
    if (address.isNull()) {
        return QStringLiteral("unknown");
    }
    bool isIpv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIpv4);
    if (isIpv4) {
        return QHostAddress(ipv4).toString();
    }
    const int bits = std::clamp(ipv6PrefixBits, 0, 128);
    Q_IPV6ADDR bytes = address.toIPv6Address();
    for (int i = 0; i < 16; ++i) {
        const int kept = std::clamp(bits - i * 8, 0, 8);
        bytes[i] = static_cast<quint8>(bytes[i] & (0xff00 >> kept));
    }
    return QStringLiteral("%1/%2").arg(QHostAddress(bytes).toString()).arg(bits);
}
