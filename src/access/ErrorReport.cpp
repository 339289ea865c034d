#include "access/ErrorReport.h"

#include "access/Connection.h"
#include "cache/CacheError.h"
#include "platform/Platform.h"

ErrorReport::ErrorReport(Platform& platform, Connection& connection)
    : m_platform(platform)
    , m_connection(connection) {
}

void ErrorReport::ShowCacheError(int number, const QString& description, const QString& operation) {
    const QString crlf = QStringLiteral("\r\n");
    const QString text = QStringLiteral("Vorgang: ") + operation + QLatin1Char('.') + crlf + crlf +
                         QStringLiteral("Fehler: ") + QString::number(number) + crlf + description +
                         crlf + crlf;
    m_platform.messages.show(text, QStringLiteral("Caché Zugriffsfehler"), MsgButtons::Ok,
                             MsgIcon::Warning);
    m_connection.EndCacheAccess(true);
}

void ErrorReport::ShowCacheError(const CacheError& error, const QString& operation) {
    ShowCacheError(error.number(), error.description(), operation);
}
