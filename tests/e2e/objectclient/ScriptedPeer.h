#pragma once

#include "protocol/Request.h"
#include "protocol/Response.h"

#include <QByteArray>
#include <QList>

#include <atomic>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <thread>

// A stand-in server on a loopback port, in its own thread, that answers each request as a test
// scripts it. Unscripted, it behaves like a polite server: hello and close succeed, open and class
// hand out handles 1, 2, 3, ..., get and call answer "<name>:<first argument>", bye ends the
// connection.
class ScriptedPeer {
public:
    struct Action {
        enum Kind { Reply, Silent, Close, Raw };
        Kind kind = Reply;
        protocol::Response response; // seq is filled in from the request unless keepSeq
        bool keepSeq = false;
        int delayMs = 0;  // before replying
        QByteArray bytes; // for Raw: sent as they are
    };
    using Script = std::function<std::optional<Action>(const protocol::Request&)>;

    explicit ScriptedPeer(Script script = {});
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    quint16 port() const { return m_port; }
    QString connectString() const;
    QList<protocol::Request> requests() const;
    // Requests of these operations only.
    QList<protocol::Request> requests(protocol::Operation op) const;
    int connectionsEnded() const { return m_connectionsEnded.load(); }
    // Waits (up to a second) until the peer has seen n connections end.
    bool waitForConnectionsEnded(int n) const;

private:
    void run(std::promise<quint16>& listening);
    Action defaultAction(const protocol::Request& request);

    Script m_script;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connectionsEnded{0};
    quint16 m_port = 0;
    qint64 m_nextHandle = 1;
    mutable std::mutex m_mutex;
    QList<protocol::Request> m_requests;
};
