#include "PostgresLocation.h"

#include "ValueText.h"

#include <QUrl>
#include <QUrlQuery>

namespace {

// The keywords a deployment needs for TLS to the database and for its timeouts; the others of
// libpq (host lists, services, passwords) would bypass what the URL says.
const char* const kAllowedOptions[] = {"sslmode",          "sslrootcert",    "sslcert",
                                       "sslkey",           "sslcrl",         "connect_timeout",
                                       "application_name", "keepalives_idle"};

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
    const QUrl url(text, QUrl::StrictMode);
    if (!isUrl(text) || !url.isValid()) {
        problem = QStringLiteral("%1 is no postgresql://USER@HOST[:PORT]/DBNAME").arg(text);
        return std::nullopt;
    }
    if (!url.password().isEmpty()) {
        problem = QStringLiteral("a password does not belong on the command line (others can "
                                 "read it there): give it in PGPASSWORD or ~/.pgpass");
        return std::nullopt;
    }
    PostgresLocation location;
    location.user = url.userName();
    location.host = url.host();
    location.port = url.port(5432);
    location.databaseName = url.path().mid(1);
    if (location.user.isEmpty() || location.host.isEmpty() || location.databaseName.isEmpty() ||
        location.databaseName.contains(QLatin1Char('/'))) {
        problem = QStringLiteral("%1 needs a user, a host and a database name: "
                                 "postgresql://USER@HOST[:PORT]/DBNAME")
                      .arg(url.toString(QUrl::RemovePassword));
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

QString PostgresLocation::display() const {
    const QString shownHost =
        host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host;
    return escapedControls(QStringLiteral("postgresql://%1@%2:%3/%4")
                               .arg(user, shownHost)
                               .arg(port)
                               .arg(databaseName));
}
