#pragma once

#include "RequestHandler.h"
#include "ServerLog.h"

#include "protocol/FrameReader.h"

#include <QObject>
#include <QString>

class QTcpSocket;

// One client connection: reads frames, answers each request in order, and ends the session on
// a protocol error, after the error reply has been sent. A client that does not read its
// replies is not read from either, so neither buffer grows without bound.
class ClientSession : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 kMaxPendingReplyBytes = 32 * 1024 * 1024;
    static constexpr qint64 kSocketReadBufferBytes = 256 * 1024;
    static constexpr int kCloseGraceMs = 5000;

    ClientSession(QTcpSocket* socket, int number, RequestHandler handler, const ServerLog& log,
                  QObject* parent = nullptr);
    ~ClientSession() override;

    // Logs the start and answers what has arrived already; connect to finished() first.
    void start();
    int number() const { return m_number; }

signals:
    // The connection is closed; the session may be deleted.
    void finished(ClientSession* session);

private:
    void readAvailable();
    void processFrames();
    void send(const protocol::Response& response);
    void end(const QString& reason);
    void logError(int number, const QString& text);

    QTcpSocket* m_socket;
    int m_number;
    RequestHandler m_handler;
    const ServerLog& m_log;
    protocol::FrameReader m_reader;
    QString m_endReason;
    bool m_ending = false;
    bool m_finished = false;
};
