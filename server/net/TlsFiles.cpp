#include "TlsFiles.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>

std::optional<QSslConfiguration> tlsConfigurationFromFiles(const QString& certificatePath,
                                                           const QString& keyPath,
                                                           QString& problem) {
    const QList<QSslCertificate> chain = QSslCertificate::fromPath(certificatePath, QSsl::Pem);
    if (chain.isEmpty()) {
        problem = QStringLiteral("--tls-cert %1: no PEM certificate").arg(certificatePath);
        return std::nullopt;
    }
    QFile keyFile(keyPath);
    if (!keyFile.open(QIODevice::ReadOnly)) {
        problem = QStringLiteral("--tls-key %1: %2").arg(keyPath, keyFile.errorString());
        return std::nullopt;
    }
    const QByteArray pem = keyFile.readAll();
    QSslKey key;
    for (QSsl::KeyAlgorithm algorithm : {QSsl::Rsa, QSsl::Ec, QSsl::Dsa}) {
        key = QSslKey(pem, algorithm, QSsl::Pem);
        if (!key.isNull()) {
            break;
        }
    }
    if (key.isNull()) {
        problem = QStringLiteral("--tls-key %1: no unencrypted PEM key").arg(keyPath);
        return std::nullopt;
    }
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificateChain(chain);
    configuration.setPrivateKey(key);
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone); // clients sign in by password
    return configuration;
}
