#include "access/ErrorReport.h"

#include "access/Connection.h"
#include "access/ErrorTexts.h"
#include "objectclient/CacheError.h"
#include "platform/Platform.h"

ErrorReport::ErrorReport(Platform& platform, Connection& connection)
    : m_platform(platform)
    , m_connection(connection) {
}

void ErrorReport::ShowCacheError(int number, const QString& description, const QString& operation) {
    showBox(number, description, operation);
    endAccess();
}

void ErrorReport::showBox(int number, const QString& description, const QString& operation) {
    const QString crlf = QStringLiteral("\r\n");
    const QString text = QStringLiteral("Vorgang: ") + operation + QLatin1Char('.') + crlf + crlf +
                         QStringLiteral("Fehler: ") + QString::number(number) + crlf +
                         ErrorTexts::forUser(number, description) + crlf + crlf;
    m_platform.messages.show(text, QStringLiteral("Caché Zugriffsfehler"), MsgButtons::Ok,
                             MsgIcon::Warning);
}

void ErrorReport::endAccess() {
    m_connection.EndCacheAccess(true);
}

void ErrorReport::ShowCacheError(const CacheError& error, const QString& operation) {
    ShowCacheError(error.number(), error.description(), operation);
}
