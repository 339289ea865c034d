#include "ListenAddress.h"

std::optional<ListenAddress> ListenAddress::parse(const QString& text) {
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0) {
        return std::nullopt;
    }
    QString hostText = text.left(colon);
    const QString portText = text.mid(colon + 1);
    bool ok = false;
    const uint port = portText.toUInt(&ok);
    if (!ok || port > 65535 || portText.startsWith(QLatin1Char('+'))) {
        return std::nullopt;
    }
    if (hostText.startsWith(QLatin1Char('[')) && hostText.endsWith(QLatin1Char(']'))) {
        hostText = hostText.mid(1, hostText.size() - 2);
        if (!hostText.contains(QLatin1Char(':'))) {
            return std::nullopt;
        }
    } else if (hostText.contains(QLatin1Char(':'))) {
        return std::nullopt; // an IPv6 address needs its brackets
    }
    QHostAddress host;
    if (hostText == QLatin1String("localhost")) {
        host = QHostAddress(QHostAddress::LocalHost);
    } else if (!host.setAddress(hostText)) {
        return std::nullopt;
    }
    return ListenAddress{host, static_cast<quint16>(port)};
}
