#pragma once

#include "PeerDeadlines.h"
#include "RequestHandler.h"
#include "SharedServices.h"
#include "SignInRelay.h"

#include "protocol/FrameReader.h"

#include <QObject>
#include <QString>
#include <QTimer>

class PeerStream;

// One client connection: reads frames, answers each request in order, and ends the session on
// a protocol error, after the error reply has been sent. Everything a peer can make it hold is
// bounded: frames (a few KiB before the sign-in; beyond kFreeFrameBytes a session draws on a
// budget all share, of which its address and its user may hold a part each, and is cut rather
// than kept waiting when there is no room), unread replies (a session whose peer does not read
// is not served further, and is cut when its replies stay unread), the log lines it causes
// (counted under its address key). A peer that stalls, or does not sign in within the sign-in
// window (see PeerDeadlines), is cut. A few requests are served per turn, so one pipelining
// peer cannot keep the others waiting. At the end of the peer's stream every complete request
// that arrived is answered, in order, before the link closes.
class ClientSession : public QObject {
    Q_OBJECT
public:
    // Unread replies above which a session is not served further.
    static constexpr qint64 kMaxPendingReplyBytes = 2 * 1024 * 1024;
    static constexpr qint64 kMaxPendingReplyBytesBeforeSignIn = 64 * 1024;
    static constexpr qint64 kSocketReadBufferBytes = 64 * 1024; // held per link, read or not
    // Frame bytes every session may hold without drawing on the shared budget: an ordinary
    // request always gets through, whatever others hold.
    static constexpr qint64 kFreeFrameBytes = 64 * 1024;
    static constexpr int kRequestsPerTurn = 4;
    static constexpr int kCloseGraceMs = 5000;
    // A peer's text in a log line is cut here, so a 1 MiB id cannot make a 1 MiB line.
    static constexpr qsizetype kMaxLoggedTextChars = 240;
    // Error lines one session may cause; the rest are counted and summed up.
    static constexpr int kMaxLoggedErrors = 10;
    static constexpr int kErrorSummaryEvery = 10000;

    // Takes the link over. addressKey is the peer's AddressKey: what the session's log lines, its
    // frame part and its sign-ins are counted under.
    ClientSession(PeerStream* link, int number, const QString& addressKey, RequestHandler handler,
                  const SharedServices& services, const PeerDeadlines& timeouts = {},
                  QObject* parent = nullptr);
    ~ClientSession() override;

    // Logs the start and answers what has arrived already; connect to finished() first.
    void start();
    int number() const { return m_number; }
    // The peer's address key.
    QString peerAddress() const { return m_peer; }

signals:
    // A sign-in of this session was refused (the connection may go on).
    void signInFailed(ClientSession* session);
    // The connection is closed; the session may be deleted.
    void finished(ClientSession* session);

private:
    enum class Wait { Idle, Stall, Drain };

    void readAvailable();
    void processFrames();
    // Frame bytes the session may read now: its free part, then what the shared budget and the
    // parts of its address and user leave.
    qint64 frameRoom() const;
    // No room for the frame under way: error 1012, then the end.
    void refuseFrame();
    QString userShareKey() const;
    // After a sign-in was answered: a failure counts against the session and its address.
    void noteSignInOutcome();
    bool mayServe() const;
    void send(const protocol::Response& response);
    // Hands a sign-in to the service; the session reads no further request until it answers.
    void startSignIn(protocol::Request& request);
    void writeReplies();
    void end(const QString& reason);
    void logError(int number, const QString& text);
    void logSuppressedErrors(const QString& when);
    void syncBudgets();
    // Unfinished frame bytes beyond the free part, in the budget and its parts.
    void syncFrameBudgets(qint64 frameBytes);
    // Serves this session again in the next pass of the event loop (once, however often asked).
    void scheduleTurn();
    // After each read: waits for the next request (idle), for the rest of the handshake or frame
    // (stall), or for the peer to read its replies (drain); a new wait starts when the kind
    // changes or something moved.
    void updateDeadline();

    PeerStream* m_link;
    int m_number;
    RequestHandler m_handler;
    SharedServices m_services;
    SignInRelay m_signIn;
    QString m_peer;
    protocol::FrameReader m_reader;
    PeerDeadlines m_timeouts;
    QString m_addressShareKey;
    QString m_countedUserKey; // the user share key m_frameBytesCounted is counted under
    QTimer m_deadline;
    qint64 m_deadlineDueMs = 0; // on the monotonic clock: when the wait m_deadline stands for ends
    QTimer m_signInWindow;
    bool m_signInWindowPassed = false;
    bool m_signInAwaited = false;
    Wait m_wait = Wait::Stall;
    bool m_progress = false;
    bool m_turnScheduled = false;
    bool m_signInPending = false;
    bool m_failureCounted = false; // signInFailed() said already for the answer under way
    qint64 m_frameBytesCounted = 0;
    qint64 m_replyBytesCounted = 0;
    int m_errorsLogged = 0;
    qint64 m_errorsSuppressed = 0;
    QString m_endReason;
    bool m_ending = false;
    bool m_finished = false;
};
