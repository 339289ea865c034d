#include "access/TlsSettings.h"

#include "access/LoginSettings.h"
#include "platform/SettingsStore.h"

TcpSecurity loadTcpSecurity(SettingsStore& store) {
    TcpSecurity security;
    const QString tls =
        store.get(LoginSettings::App, LoginSettings::Section, LoginSettings::KeyTls, QString());
    security.tls = tls.trimmed() == QLatin1String("1");
    security.caFile = store
                          .get(LoginSettings::App, LoginSettings::Section,
                               LoginSettings::KeyTlsCertificate, QString())
                          .trimmed();
    return security;
}
