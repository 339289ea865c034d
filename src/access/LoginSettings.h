#pragma once

#include <QString>

// Where the connection data and the last user code are stored between runs, and the defaults
// used when nothing is stored or given.
namespace LoginSettings {

inline const QString App = QStringLiteral("Cache Login");
inline const QString Section = QStringLiteral("Login");

inline const QString KeyFirma = QStringLiteral("Firma");
inline const QString KeyFiliale = QStringLiteral("Filiale");
inline const QString KeyName = QStringLiteral("Name");
inline const QString KeyServer = QStringLiteral("Server");
inline const QString KeyPort = QStringLiteral("Port");
inline const QString KeyNamespace = QStringLiteral("Namespace");
// Encryption (TlsSettings.h); absent in older settings, which keep working unchanged.
inline const QString KeyTls = QStringLiteral("TLS");
inline const QString KeyTlsCertificate = QStringLiteral("TLSZertifikat");

inline const QString DefaultServer = QStringLiteral("localhost");
inline const QString DefaultNamespace = QStringLiteral("LORVEX");
// The stored settings and the command line disagree on the port default on purpose.
inline const QString DefaultStoredPort = QStringLiteral("1973");
inline const QString DefaultCommandLinePort = QStringLiteral("1972");
inline const QString DefaultStoredFirma = QStringLiteral("1");
inline const QString DefaultStoredFiliale = QStringLiteral("0");

} // namespace LoginSettings
