#pragma once

#include <QSslConfiguration>
#include <QString>

#include <optional>

// The server's certificate chain and key from PEM files; nullopt with a message when they
// cannot be used.
std::optional<QSslConfiguration>
tlsConfigurationFromFiles(const QString& certificatePath, const QString& keyPath, QString& problem);
