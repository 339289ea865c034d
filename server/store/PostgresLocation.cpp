#include "PostgresLocation.h"

#include "ValueText.h"

#include <QUrl>
#include <QUrlQuery>

namespace {

// The keywords a deployment needs for TLS to the database and for its timeouts; the others of
// libpq (host lists, services, passwords) would bypass what the URL says.
const char* const kAllowedOptions[] = {
    "sslmode",          "sslrootcert",     "sslcert",
    "sslkey",           "sslcrl",          "connect_timeout",
    "application_name", "keepalives_idle", "target_session_attrs"};

bool allowed(const QString& keyword) {
    for (const char* option : kAllowedOptions) {
        if (keyword == QLatin1String(option)) {
            return true;
        }
    }
    return false;
}

// libpq reads its connection string as keyword=value pairs split at blanks, with quotes and
// backslashes of their own, and Qt joins the options with ";": a value holding any of them (or
// none at all, which takes the next pair as its value) could set a keyword the URL does not
// show, such as another dbname or host. No value a deployment needs holds one.
bool safeValue(const QString& value) {
    if (value.isEmpty()) {
        return false;
    }
    for (const QChar c : value) {
        if (c.isSpace() || c.unicode() < 0x20 || c.unicode() == 0x7f || c == QLatin1Char('\'') ||
            c == QLatin1Char('\\') || c == QLatin1Char(';')) {
            return false;
        }
    }
    return true;
}

} // namespace

bool PostgresLocation::isUrl(const QString& text) {
    return text.startsWith(QLatin1String("postgresql://")) ||
           text.startsWith(QLatin1String("postgres://"));
}

std::optional<PostgresLocation> PostgresLocation::parse(const QString& text, QString& problem) {
    const QString usage = QStringLiteral("postgresql://USER@HOST[:PORT][,HOST[:PORT]...]/DBNAME");
    // QUrl knows one host only: the list is taken apart here, and each host, and the URL with
    // the first of them, checked by QUrl.
    const qsizetype authorityStart = text.indexOf(QLatin1String("://")) + 3;
    const qsizetype authorityEnd = text.indexOf(QLatin1Char('/'), authorityStart);
    const qsizetype at = authorityEnd < 0 ? -1 : text.lastIndexOf(QLatin1Char('@'), authorityEnd);
    const QString scheme = text.left(authorityStart);
    const QStringList hostItems =
        at < authorityStart ? QStringList()
                            : text.mid(at + 1, authorityEnd - at - 1).split(QLatin1Char(','));
    const QString firstHostUrl =
        hostItems.isEmpty() ? text : text.left(at + 1) + hostItems.first() + text.mid(authorityEnd);
    const QUrl url(firstHostUrl, QUrl::StrictMode);
    if (!isUrl(text) || !url.isValid()) {
        problem = QStringLiteral("%1 is no %2").arg(escapedControls(text), usage);
        return std::nullopt;
    }
    if (!url.password().isEmpty()) {
        problem = QStringLiteral("a password does not belong on the command line (others can "
                                 "read it there): give it in PGPASSWORD or ~/.pgpass");
        return std::nullopt;
    }
    PostgresLocation location;
    location.user = url.userName();
    for (const QString& item : hostItems) {
        const QUrl hostUrl(scheme + QStringLiteral("u@") + item + QStringLiteral("/d"),
                           QUrl::StrictMode);
        if (!hostUrl.isValid() || hostUrl.host().isEmpty() || !safeValue(hostUrl.host())) {
            problem = QStringLiteral("%1: \"%2\" is no HOST[:PORT]")
                          .arg(url.toString(QUrl::RemovePassword), escapedControls(item));
            return std::nullopt;
        }
        location.hosts.append({hostUrl.host(), hostUrl.port(5432)});
    }
    location.databaseName = url.path().mid(1);
    if (location.user.isEmpty() || location.hosts.isEmpty() || location.databaseName.isEmpty() ||
        location.databaseName.contains(QLatin1Char('/'))) {
        problem = QStringLiteral("%1 needs a user, a host and a database name: %2")
                      .arg(url.toString(QUrl::RemovePassword), usage);
        return std::nullopt;
    }
    const QUrlQuery query(url);
    for (const auto& [keyword, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (!allowed(keyword)) {
            problem =
                QStringLiteral("the connection option \"%1\" is not accepted in --db").arg(keyword);
            return std::nullopt;
        }
        if (!safeValue(value)) {
            problem = QStringLiteral("the connection option \"%1\" needs a value without blanks, "
                                     "quotes, backslashes, \";\" or control characters")
                          .arg(keyword);
            return std::nullopt;
        }
        location.options.append({keyword, value});
    }
    return location;
}

QString PostgresLocation::hostList() const {
    QStringList names;
    for (const auto& [name, port] : hosts) {
        names << name;
    }
    return names.join(QLatin1Char(','));
}

QString PostgresLocation::portList() const {
    QStringList ports;
    for (const auto& [name, port] : hosts) {
        ports << QString::number(port);
    }
    return ports.join(QLatin1Char(','));
}

QString PostgresLocation::display() const {
    QStringList shown;
    for (const auto& [name, port] : hosts) {
        shown << QStringLiteral("%1:%2")
                     .arg(name.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(name) : name)
                     .arg(port);
    }
    return escapedControls(QStringLiteral("postgresql://%1@%2/%3")
                               .arg(user, shown.join(QLatin1Char(',')), databaseName));
}
