#include "ScriptedPeer.h"

#include "protocol/FrameReader.h"
#include "protocol/Framing.h"
#include "protocol/MessageCodec.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <memory>

ScriptedPeer::ScriptedPeer(Script script)
    : m_script(std::move(script)) {
    std::promise<quint16> listening;
    std::future<quint16> port = listening.get_future();
    m_thread = std::thread([this, &listening] { run(listening); });
    m_port = port.get();
}

ScriptedPeer::~ScriptedPeer() {
    m_stop = true;
    m_thread.join();
}

QString ScriptedPeer::connectString() const {
    return QStringLiteral("cn_iptcp:127.0.0.1[%1]:LORVEX").arg(m_port);
}

QList<protocol::Request> ScriptedPeer::requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

QList<protocol::Request> ScriptedPeer::requests(protocol::Operation op) const {
    QList<protocol::Request> matching;
    for (const protocol::Request& r : requests()) {
        if (r.op == op) {
            matching << r;
        }
    }
    return matching;
}

bool ScriptedPeer::waitForConnectionsEnded(int n) const {
    QElapsedTimer clock;
    clock.start();
    while (m_connectionsEnded.load() < n && clock.elapsed() < 1000) {
        QThread::msleep(5);
    }
    return m_connectionsEnded.load() >= n;
}

ScriptedPeer::Action ScriptedPeer::defaultAction(const protocol::Request& request) {
    Action action;
    switch (request.op) {
    case protocol::Operation::Open:
    case protocol::Operation::ClassAccess:
        action.response = protocol::Response::withHandle(0, m_nextHandle++);
        break;
    case protocol::Operation::Get:
    case protocol::Operation::Call: {
        const QString first = request.args.isEmpty() ? QString() : request.args.first().toString();
        action.response = protocol::Response::success(0, request.name + u':' + first);
        break;
    }
    default:
        action.response = protocol::Response::success(0, protocol::Version);
        break;
    }
    return action;
}

void ScriptedPeer::run(std::promise<quint16>& listening) {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    listening.set_value(server.serverPort());
    while (!m_stop) {
        if (!server.waitForNewConnection(20)) {
            continue;
        }
        std::unique_ptr<QTcpSocket> socket(server.nextPendingConnection());
        protocol::FrameReader reader;
        bool open = true;
        while (open && !m_stop) {
            if (!socket->waitForReadyRead(20)) {
                open = socket->state() == QAbstractSocket::ConnectedState;
                continue;
            }
            reader.feed(socket->readAll());
            while (open) {
                std::optional<QByteArray> frame = reader.takeFrame();
                if (!frame) {
                    break;
                }
                const auto decoded = protocol::decodeRequest(*frame);
                if (!decoded.ok()) {
                    open = false;
                    break;
                }
                const protocol::Request& request = decoded.value();
                {
                    std::lock_guard lock(m_mutex);
                    m_requests << request;
                }
                std::optional<Action> scripted = m_script ? m_script(request) : std::nullopt;
                Action action = scripted ? *scripted : defaultAction(request);
                if (action.delayMs > 0) {
                    QThread::msleep(static_cast<unsigned long>(action.delayMs));
                }
                if (action.kind == Action::Close) {
                    open = false;
                    break;
                }
                if (action.kind == Action::Silent) {
                    continue;
                }
                if (action.kind == Action::Raw) {
                    socket->write(action.bytes);
                } else {
                    if (!action.keepSeq) {
                        action.response.seq = request.seq;
                    }
                    socket->write(
                        protocol::encodeFrame(protocol::encodeResponse(action.response).value()));
                }
                socket->waitForBytesWritten(1000);
                if (request.op == protocol::Operation::Bye) {
                    open = false;
                }
            }
        }
        socket->close();
        ++m_connectionsEnded;
    }
}
