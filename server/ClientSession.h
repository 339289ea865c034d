#pragma once

#include "RequestHandler.h"
#include "ServerLog.h"
#include "SessionTimeouts.h"

#include "protocol/FrameReader.h"

#include <QObject>
#include <QString>
#include <QTimer>

class QTcpSocket;

// One client connection: reads frames, answers each request in order, and ends the session on
// a protocol error, after the error reply has been sent. A client that does not read its
// replies is not read from either, so neither buffer grows without bound. A peer that stalls
// (see SessionTimeouts) is cut.
class ClientSession : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 kMaxPendingReplyBytes = 32 * 1024 * 1024;
    static constexpr qint64 kSocketReadBufferBytes = 256 * 1024;
    static constexpr int kCloseGraceMs = 5000;
    // A peer's text in a log line is cut here, so a 1 MiB id cannot make a 1 MiB line.
    static constexpr qsizetype kMaxLoggedTextChars = 240;

    ClientSession(QTcpSocket* socket, int number, RequestHandler handler, const ServerLog& log,
                  const SessionTimeouts& timeouts = {}, QObject* parent = nullptr);
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
    void writeReplies();
    void end(const QString& reason);
    void logError(int number, const QString& text);
    // After each read: waits for the next request (idle) or for the rest of the handshake or
    // frame (stall); a new wait starts only when the kind changes or a request was answered.
    void updateDeadline();

    QTcpSocket* m_socket;
    int m_number;
    RequestHandler m_handler;
    const ServerLog& m_log;
    protocol::FrameReader m_reader;
    SessionTimeouts m_timeouts;
    QTimer m_deadline;
    bool m_waitingIdle = false;
    bool m_answered = false;
    QString m_endReason;
    bool m_ending = false;
    bool m_finished = false;
    bool m_writing = false; // inside writeReplies(): its bytesWritten is not a new read
};
