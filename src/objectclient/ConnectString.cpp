#include "objectclient/ConnectString.h"

#include "objectclient/CacheError.h"
#include "protocol/ErrorCodes.h"

namespace {

const QString Prefix = QStringLiteral("cn_iptcp:");

[[noreturn]] void malformed(const QString& connectString, const QString& why) {
    throw CacheError(
        protocol::errorNumber(protocol::ErrorCode::MalformedConnectString),
        QStringLiteral("Ungültige Verbindungsangabe \"%1\": %2").arg(connectString.left(200), why));
}

bool validHost(const QString& host) {
    for (QChar c : host) {
        if (c.isSpace() || c == u'[' || c == u']' || c == u'/' || c.unicode() < 0x20) {
            return false;
        }
    }
    return !host.isEmpty();
}

bool validNamespace(const QString& name) {
    for (QChar c : name) {
        const bool allowed = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') ||
                             (c >= u'0' && c <= u'9') || c == u'%' || c == u'_' || c == u'-' ||
                             c == u'.';
        if (!allowed) {
            return false;
        }
    }
    return !name.isEmpty();
}

} // namespace

ConnectTarget parseConnectString(const QString& connectString) {
    if (!connectString.startsWith(Prefix, Qt::CaseInsensitive)) {
        malformed(connectString, QStringLiteral("es fehlt \"cn_iptcp:\""));
    }
    const QString rest = connectString.mid(Prefix.size());
    // The port bracket is the last "[...]" followed by ":"; an IPv6 host holds ':' but no '['.
    const qsizetype close = rest.lastIndexOf(QStringLiteral("]:"));
    const qsizetype open = close < 0 ? -1 : rest.lastIndexOf(u'[', close);
    if (close < 0 || open < 0) {
        malformed(connectString, QStringLiteral("es fehlt \"[PORT]:\""));
    }
    ConnectTarget target;
    target.host = rest.left(open).trimmed();
    if (!validHost(target.host)) {
        malformed(connectString, QStringLiteral("ungültiger Server"));
    }
    const QString portText = rest.mid(open + 1, close - open - 1);
    bool digitsOnly = !portText.isEmpty() && portText.size() <= 5;
    for (QChar c : portText) {
        digitsOnly = digitsOnly && c >= u'0' && c <= u'9';
    }
    const int port = digitsOnly ? portText.toInt() : 0;
    if (port < 1 || port > 65535) {
        malformed(connectString, QStringLiteral("ungültiger Port"));
    }
    target.port = static_cast<quint16>(port);
    target.nameSpace = rest.mid(close + 2);
    if (!validNamespace(target.nameSpace)) {
        malformed(connectString, QStringLiteral("ungültiger Namespace"));
    }
    return target;
}
