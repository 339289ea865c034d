#include "objectclient/TcpConnection.h"

#include "objectclient/CacheError.h"
#include "protocol/Framing.h"
#include "protocol/Limits.h"
#include "protocol/MessageCodec.h"

#include <QEventLoop>
#include <QNetworkProxy>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

using protocol::ErrorCode;

namespace {

int remainingMs(const QDeadlineTimer& deadline) {
    const qint64 left = deadline.remainingTime();
    return left < 0 ? 0 : static_cast<int>(left);
}

// Marks the connection as waiting for the server, however the wait is left.
class BusyMark {
public:
    explicit BusyMark(bool& flag)
        : m_flag(flag) {
        m_flag = true;
    }
    ~BusyMark() { m_flag = false; }
    BusyMark(const BusyMark&) = delete;
    BusyMark& operator=(const BusyMark&) = delete;

private:
    bool& m_flag;
};

[[noreturn]] void refuseBusy() {
    throw CacheError(protocol::errorNumber(ErrorCode::Busy),
                     QStringLiteral("Der Server bearbeitet noch eine andere Anfrage."));
}

} // namespace

TcpConnection::TcpConnection(const TcpTimeouts& timeouts, const TcpSecurity& security)
    : m_timeouts(timeouts)
    , m_security(security) {
}

TcpConnection::~TcpConnection() {
    close();
}

bool TcpConnection::open(const ConnectTarget& target) {
    if (m_busy) {
        return false;
    }
    // Window events run during the wait; whatever they drop, this object lives until the end.
    const std::shared_ptr<TcpConnection> keepAlive = weak_from_this().lock();
    const BusyMark busy(m_busy);
    drop();
    m_lastFailure.clear();
    m_reader = protocol::FrameReader();
    const QDeadlineTimer deadline(m_timeouts.connectMs);
    QSslSocket* secure = nullptr;
    if (m_security.tls) {
        auto socket = std::make_unique<QSslSocket>();
        if (!configureTls(*socket)) {
            return false;
        }
        secure = socket.get();
        QObject::connect(secure, &QSslSocket::sslErrors, [this](const QList<QSslError>& errors) {
            QStringList texts;
            for (const QSslError& error : errors) {
                texts.append(error.errorString());
            }
            m_lastFailure = QStringLiteral("Die verschlüsselte Verbindung wurde abgelehnt: %1")
                                .arg(texts.join(QStringLiteral("; ")));
        });
        m_socket = std::move(socket);
    } else {
        m_socket = std::make_unique<QTcpSocket>();
    }
    m_socket->setProxy(QNetworkProxy::NoProxy);
    // Asynchronous, the name lookup (and the TLS handshake) included, so the deadline bounds
    // all of it. With TLS the server's certificate must match the host name and chain to a
    // trusted certificate; anything else ends the attempt, never a clear-text one instead.
    if (secure) {
        secure->connectToHostEncrypted(target.host, target.port);
    } else {
        m_socket->connectToHost(target.host, target.port);
    }
    while (m_socket->state() != QAbstractSocket::ConnectedState ||
           (secure && !secure->isEncrypted())) {
        if (m_socket->state() == QAbstractSocket::UnconnectedState || deadline.hasExpired()) {
            if (secure && m_lastFailure.isEmpty() &&
                m_socket->state() != QAbstractSocket::UnconnectedState) {
                m_lastFailure =
                    QStringLiteral("Keine verschlüsselte Verbindung zustande gekommen.");
            }
            drop();
            return false;
        }
        waitForSocket(deadline);
    }
    m_up = true;
    try {
        const protocol::Response reply =
            exchange(protocol::Request::hello(target.nameSpace, protocol::Version), deadline,
                     m_timeouts.connectMs);
        return reply.ok;
    } catch (const CacheError& error) {
        // Refused handshake (wrong namespace or version, no free place), silence or garbage:
        // not connected.
        m_lastFailure = error.description();
        drop();
        return false;
    }
}

bool TcpConnection::isUp() {
    if (!m_up) {
        return false;
    }
    if (m_busy) {
        // The waiting call owns the socket; reading here could take its reply.
        return true;
    }
    if (m_socket->state() == QAbstractSocket::ConnectedState) {
        // A zero wait reads what is pending without blocking and notices a closed peer. The
        // server never speaks unasked, so any bytes here mean the session is unusable.
        m_socket->waitForReadyRead(0);
    }
    if (m_socket->state() != QAbstractSocket::ConnectedState || m_socket->bytesAvailable() > 0) {
        drop();
        return false;
    }
    return true;
}

protocol::Response TcpConnection::roundTrip(protocol::Request request) {
    if (m_busy) {
        refuseBusy();
    }
    const std::shared_ptr<TcpConnection> keepAlive = weak_from_this().lock();
    const BusyMark busy(m_busy);
    return exchange(std::move(request), QDeadlineTimer(m_timeouts.requestMs), m_timeouts.requestMs);
}

protocol::Response TcpConnection::exchange(protocol::Request request,
                                           const QDeadlineTimer& deadline, int timeoutMs) {
    if (!m_up) {
        throw CacheError(protocol::errorNumber(ErrorCode::NotConnected),
                         QStringLiteral("Keine Verbindung zum Server"));
    }
    request.seq = m_nextSeq++;
    const protocol::Outcome<QByteArray> payload = protocol::encodeRequest(request);
    if (!payload.ok()) {
        // Refused here, so the server never ends the session over it.
        throw CacheError(protocol::errorNumber(payload.error()), payload.errorText());
    }
    m_socket->write(protocol::encodeFrame(payload.value()));
    std::optional<QByteArray> frame;
    for (;;) {
        // What arrived before a close still counts; read it first.
        if (m_socket->bytesAvailable() > 0) {
            m_reader.feed(m_socket->readAll());
            if (m_reader.hasError()) {
                fail(ErrorCode::BadReply, m_reader.errorText());
            }
        }
        frame = m_reader.takeFrame();
        if (frame) {
            break;
        }
        if (!m_up) {
            fail(ErrorCode::ConnectionLost, QStringLiteral("Verbindung wurde getrennt"));
        }
        if (m_socket->state() != QAbstractSocket::ConnectedState) {
            fail(ErrorCode::ConnectionLost, m_socket->errorString());
        }
        if (deadline.hasExpired()) {
            fail(ErrorCode::Timeout, QStringLiteral("%1 ms").arg(timeoutMs));
        }
        waitForSocket(deadline);
    }
    if (m_reader.hasFrame() || !m_reader.atFrameBoundary()) {
        fail(ErrorCode::BadReply, QStringLiteral("mehr als eine Antwort"));
    }
    protocol::Outcome<protocol::Response> reply = protocol::decodeResponse(*frame);
    if (!reply.ok()) {
        fail(ErrorCode::BadReply, reply.errorText());
    }
    if (!reply.value().ok &&
        reply.value().errorNumber == protocol::errorNumber(ErrorCode::ServerFull)) {
        // Sent in place of any reply when the server has no place for this connection.
        drop();
        throw CacheError(reply.value().errorNumber,
                         QStringLiteral("Der Server hat keinen freien Platz für diese Verbindung "
                                        "(Fehler %1).")
                             .arg(reply.value().errorNumber));
    }
    if (reply.value().seq != request.seq) {
        fail(ErrorCode::BadReply,
             QStringLiteral("Antwort %1 auf Anfrage %2").arg(reply.value().seq).arg(request.seq));
    }
    if (!reply.value().ok) {
        if (protocol::endsSession(reply.value().errorNumber)) {
            drop();
        }
        throw CacheError(reply.value().errorNumber, reply.value().errorText);
    }
    return std::move(reply.value());
}

void TcpConnection::waitForSocket(const QDeadlineTimer& deadline) {
    QEventLoop loop;
    QTimer wakeUp;
    wakeUp.setSingleShot(true);
    wakeUp.setTimerType(Qt::PreciseTimer);
    QObject::connect(&wakeUp, &QTimer::timeout, &loop, &QEventLoop::quit);
    QTcpSocket* socket = m_socket.get();
    QObject::connect(socket, &QTcpSocket::readyRead, &loop, &QEventLoop::quit);
    QObject::connect(socket, &QTcpSocket::stateChanged, &loop, &QEventLoop::quit);
    QObject::connect(socket, &QTcpSocket::errorOccurred, &loop, &QEventLoop::quit);
    if (auto* secure = qobject_cast<QSslSocket*>(socket)) {
        QObject::connect(secure, &QSslSocket::encrypted, &loop, &QEventLoop::quit);
    }
    wakeUp.start(remainingMs(deadline));
    QEventLoop* const outer = m_waitLoop;
    m_waitLoop = &loop;
    loop.exec(QEventLoop::AllEvents);
    m_waitLoop = outer;
}

bool TcpConnection::configureTls(QSslSocket& socket) {
    if (!QSslSocket::supportsSsl()) {
        m_lastFailure = QStringLiteral("Verschlüsselung ist hier nicht verfügbar (keine "
                                       "TLS-Bibliothek).");
        return false;
    }
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    if (!m_security.caFile.isEmpty()) {
        const QList<QSslCertificate> trusted =
            QSslCertificate::fromPath(m_security.caFile, QSsl::Pem);
        if (trusted.isEmpty()) {
            m_lastFailure = QStringLiteral("Die Zertifikatsdatei \"%1\" enthält kein "
                                           "lesbares Zertifikat.")
                                .arg(m_security.caFile);
            return false;
        }
        configuration.setCaCertificates(trusted);
    }
    socket.setSslConfiguration(configuration);
    return true;
}

void TcpConnection::fail(ErrorCode code, const QString& detail) {
    drop();
    QString text;
    switch (code) {
    case ErrorCode::Timeout:
        text = QStringLiteral("Keine Antwort vom Server (%1)").arg(detail);
        break;
    case ErrorCode::ConnectionLost:
        text = QStringLiteral("Verbindung zum Server unterbrochen (%1)").arg(detail);
        break;
    default:
        text = QStringLiteral("Ungültige Antwort vom Server (%1)").arg(detail);
        break;
    }
    throw CacheError(protocol::errorNumber(code), text);
}

void TcpConnection::close() {
    if (!m_up || m_busy) {
        drop();
        return;
    }
    const std::shared_ptr<TcpConnection> keepAlive = weak_from_this().lock();
    const BusyMark busy(m_busy);
    try {
        exchange(protocol::Request::bye(), QDeadlineTimer(m_timeouts.disconnectMs),
                 m_timeouts.disconnectMs);
    } catch (const CacheError&) {
        // The session ends either way.
    }
    drop();
}

void TcpConnection::drop() {
    m_up = false;
    if (m_socket) {
        m_socket->abort();
    }
    if (m_waitLoop) {
        m_waitLoop->quit();
    }
}
