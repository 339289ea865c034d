#include "SoakAttacks.h"

#include "RawPeer.h"

#include "protocol/Framing.h"
#include "protocol/Limits.h"
#include "protocol/MessageCodec.h"

#include <QThread>
#include <QtEndian>

#include <algorithm>
#include <arpa/inet.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#include <vector>

using protocol::Request;

namespace {

using Peers = std::vector<std::unique_ptr<RawPeer>>;

// The longest a round may take beyond its own waits: its connects and replies.
constexpr int kRoundMs = 60000;

QHostAddress from(int lastByte) {
    return QHostAddress(QStringLiteral("127.0.0.%1").arg(lastByte));
}

QByteArray frameOf(const Request& request) {
    return protocol::encodeFrame(protocol::encodeRequest(request).value());
}

QByteArray hello() {
    return frameOf(
        Request::hello(QString::fromLatin1(protocol::DefaultNamespace), protocol::Version));
}

QByteArray header(quint32 length) {
    QByteArray bytes(4, '\0');
    qToBigEndian(length, bytes.data());
    return bytes;
}

// At most ms, and never past the run's deadline.
int upTo(int ms, const QDeadlineTimer& deadline) {
    return static_cast<int>(std::clamp<qint64>(deadline.remainingTime(), 0, ms));
}

// Milliseconds left of a round, at most its own bound and never past the run's deadline.
int leftOf(const QDeadlineTimer& round, const QDeadlineTimer& deadline) {
    return static_cast<int>(
        std::max<qint64>(0, std::min(round.remainingTime(), deadline.remainingTime())));
}

// A connection from 127.0.0.lastByte. The connect gives up after 3 s: a listener whose accept
// queue is full drops the handshake, and the system would retry it for minutes.
std::unique_ptr<RawPeer> connectFrom(quint16 port, int lastByte, int receiveBufferBytes = 0) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return nullptr;
    }
    const timeval connectTimeout{3, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &connectTimeout, sizeof connectTimeout);
    if (receiveBufferBytes > 0) {
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBufferBytes, sizeof receiveBufferBytes);
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(from(lastByte).toIPv4Address());
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(port);
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    auto peer = std::make_unique<RawPeer>();
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        ::connect(fd, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0 ||
        !peer->socket.setSocketDescriptor(fd)) {
        ::close(fd);
        return nullptr;
    }
    return peer;
}

// Waits ms (or until the deadline), pushing out what the peers still have to send.
void hold(int ms, const QDeadlineTimer& deadline, Peers* peers = nullptr) {
    const QDeadlineTimer until(ms);
    while (!until.hasExpired() && !deadline.hasExpired()) {
        if (peers) {
            for (const auto& peer : *peers) {
                peer->socket.flush();
            }
        }
        QThread::msleep(100);
    }
}

// A signed-in reader of rights group 5 with its own record open as handle 1.
std::unique_ptr<RawPeer> signedInReader(quint16 port, int lastByte, int timeoutMs,
                                        int receiveBufferBytes = 0) {
    auto peer = connectFrom(port, lastByte, receiveBufferBytes);
    if (!peer || !peer->signIn(QStringLiteral("1"), QStringLiteral("LESER"),
                               QStringLiteral("leser"), timeoutMs)) {
        return nullptr;
    }
    peer->sendRequest(Request::open(QStringLiteral("LX.ParPersEdv"), QStringLiteral("1||LESER")));
    const std::optional<protocol::Response> opened = peer->readResponse(timeoutMs);
    return opened && opened->ok && opened->handle == 1 ? std::move(peer) : nullptr;
}

QByteArray manyGets(int count) {
    const QByteArray one = frameOf(Request::get(1, QStringLiteral("PNAME")));
    QByteArray all;
    all.reserve(one.size() * count);
    for (int i = 0; i < count; ++i) {
        all += one;
    }
    return all;
}

// 64 sessions of one account from 4 addresses each send all but one byte of a maximal frame and
// stall past the 30-second cut.
bool stalledMaximalFrames(const SoakTarget& target, const QDeadlineTimer& deadline) {
    const QDeadlineTimer round(kRoundMs);
    const QByteArray frame =
        header(protocol::MaxFrameBytes) + QByteArray(protocol::MaxFrameBytes - 1, 'x');
    Peers peers;
    for (int address = 20; address < 24; ++address) {
        for (int i = 0; i < 16 && leftOf(round, deadline) > 0; ++i) {
            if (auto peer = signedInReader(target.plainPort, address, leftOf(round, deadline))) {
                peer->socket.write(frame);
                peers.push_back(std::move(peer));
            }
        }
    }
    hold(35000, deadline, &peers);
    return true;
}

// 8 addresses × 16 connections that only say hello and send one request a minute, which the
// server refuses (no sign-in), to stay past the idle cut.
bool helloOnlyKeptAlive(const SoakTarget& target, const QDeadlineTimer& deadline) {
    Peers peers;
    for (int address = 30; address < 38; ++address) {
        for (int i = 0; i < 16 && !deadline.hasExpired(); ++i) {
            if (auto peer = connectFrom(target.plainPort, address)) {
                peer->send(hello());
                peers.push_back(std::move(peer));
            }
        }
    }
    for (int minute = 0; minute < 4 && !deadline.hasExpired(); ++minute) {
        hold(50000, deadline, &peers);
        for (const auto& peer : peers) {
            peer->sendRequest(Request::get(1, QStringLiteral("PNAME")));
        }
    }
    return true;
}

// 20 addresses guess the demo user's password at the same time.
bool parallelGuesses(const SoakTarget& target, const QDeadlineTimer& deadline) {
    static std::atomic<int> guess{0};
    Peers peers;
    for (int address = 40; address < 60 && !deadline.hasExpired(); ++address) {
        if (auto peer = connectFrom(target.plainPort, address)) {
            peer->send(hello() +
                       frameOf(Request::signIn(QStringLiteral("1"), QStringLiteral("DEMO"),
                                               QStringLiteral("guess%1").arg(++guess))));
            peers.push_back(std::move(peer));
        }
    }
    const QDeadlineTimer round(15000);
    for (const auto& peer : peers) {
        peer->readResponse(leftOf(round, deadline));
        peer->readResponse(leftOf(round, deadline));
    }
    peers.clear();
    hold(1000, deadline);
    return true;
}

// Sessions that send nothing but refused requests, each one error line (or more) in the log.
bool logFlood(const SoakTarget& target, const QDeadlineTimer& deadline) {
    bool kept = true;
    for (int i = 0; i < 10 && !deadline.hasExpired(); ++i) {
        auto peer = connectFrom(target.plainPort, 60 + i % 4);
        if (!peer) {
            continue;
        }
        QByteArray burst = hello();
        for (int request = 0; request < 12; ++request) {
            burst += frameOf(Request::get(1, QStringLiteral("PNAME")));
        }
        peer->send(burst);
        int replies = 0;
        while (replies < 13 && peer->readResponse(upTo(2000, deadline))) {
            ++replies;
        }
        kept = kept && (replies == 13 || deadline.hasExpired());
    }
    hold(100, deadline);
    return kept;
}

// Sign-ins whose peers hang up at once, before the password is checked.
bool abandonedSignIns(const SoakTarget& target, const QDeadlineTimer& deadline) {
    for (int i = 0; i < 20 && !deadline.hasExpired(); ++i) {
        if (auto peer = connectFrom(target.plainPort, 64 + i % 4)) {
            peer->send(hello() +
                       frameOf(Request::signIn(QStringLiteral("1"), QStringLiteral("CHEF"),
                                               QStringLiteral("nope"))));
            peer->socket.abort();
        }
    }
    hold(1000, deadline);
    return true;
}

// hello, sign-in and three requests in one write, then the sending side shut: all five replies
// must come back before the server closes.
bool halfCloseWithPendingRequests(const SoakTarget& target, const QDeadlineTimer& deadline) {
    auto peer = connectFrom(target.plainPort, 70);
    if (!peer) {
        return true;
    }
    peer->send(hello() +
               frameOf(Request::signIn(QStringLiteral("1"), QStringLiteral("LESER"),
                                       QStringLiteral("leser"))) +
               frameOf(Request::open(QStringLiteral("LX.ParPersEdv"), QStringLiteral("1||LESER"))) +
               frameOf(Request::get(1, QStringLiteral("PNAME"))) +
               frameOf(Request::get(1, QStringLiteral("AKTIV"))));
    peer->shutdownSending();
    const QDeadlineTimer round(15000);
    int replies = 0;
    while (replies < 5 && peer->readResponse(leftOf(round, deadline))) {
        ++replies;
    }
    hold(500, deadline);
    return replies == 5 || deadline.hasExpired();
}

// A reader with a small receive buffer asks for 20,000 replies and reads 2 KiB at a time.
bool slowReader(const SoakTarget& target, const QDeadlineTimer& deadline) {
    auto peer = signedInReader(target.plainPort, 72, 10000, 4096);
    if (!peer) {
        hold(1000, deadline);
        return true;
    }
    peer->socket.write(manyGets(20000));
    const QDeadlineTimer round(20000);
    while (!round.hasExpired() && !deadline.hasExpired()) {
        peer->socket.flush();
        peer->socket.waitForReadyRead(0);
        peer->socket.read(2048);
        QThread::msleep(200);
    }
    return true;
}

// 5,000 requests in one write; every reply must come back.
bool pipeliningFlood(const SoakTarget& target, const QDeadlineTimer& deadline) {
    constexpr int kRequests = 5000;
    auto peer = signedInReader(target.plainPort, 74, 10000);
    if (!peer) {
        hold(1000, deadline);
        return true;
    }
    peer->send(manyGets(kRequests));
    const QDeadlineTimer round(20000);
    int replies = 0;
    while (replies < kRequests && peer->readResponse(leftOf(round, deadline))) {
        ++replies;
    }
    return replies == kRequests || deadline.hasExpired();
}

// A frame longer than any allowed and a frame longer than allowed before the sign-in must each
// close their connection; an unfinished frame is abandoned.
bool oversizedAndUnfinishedFrames(const SoakTarget& target, const QDeadlineTimer& deadline) {
    bool kept = true;
    if (auto peer = connectFrom(target.plainPort, 76)) {
        peer->send(header(0xfffffff0u));
        kept = peer->closedByServer(upTo(5000, deadline)) && kept;
    }
    if (auto peer = connectFrom(target.plainPort, 76)) {
        peer->send(hello() + header(8192) + QByteArray(100, 'x'));
        kept = peer->closedByServer(upTo(5000, deadline)) && kept;
    }
    if (auto peer = connectFrom(target.plainPort, 76)) {
        peer->send(header(1000) + QByteArray(10, 'x'));
        peer->socket.abort();
    }
    hold(200, deadline);
    return kept || deadline.hasExpired();
}

// 40 connections from one address say hello at once; more than its places must be refused.
bool manySessionsPerAddress(const SoakTarget& target, const QDeadlineTimer& deadline) {
    Peers peers;
    for (int i = 0; i < 40 && !deadline.hasExpired(); ++i) {
        if (auto peer = connectFrom(target.plainPort, 78)) {
            peer->send(hello());
            peers.push_back(std::move(peer));
        }
    }
    const QDeadlineTimer round(20000);
    int welcomed = 0;
    for (const auto& peer : peers) {
        const std::optional<protocol::Response> reply =
            peer->readResponse(std::min(2000, leftOf(round, deadline)));
        welcomed += reply && reply->ok ? 1 : 0;
    }
    hold(5000, deadline);
    return welcomed <= 16;
}

// 30 connections to the TLS port that never start their handshake, held past its timeout.
bool stalledTlsHandshakes(const SoakTarget& target, const QDeadlineTimer& deadline) {
    Peers peers;
    for (int i = 0; i < 30 && !deadline.hasExpired(); ++i) {
        if (auto peer = connectFrom(target.tlsPort, 80 + i % 2)) {
            peers.push_back(std::move(peer));
        }
    }
    hold(12000, deadline);
    return true;
}

// 30 connections to the TLS port, each closed half a second later without a handshake.
bool abandonedTlsHandshakes(const SoakTarget& target, const QDeadlineTimer& deadline) {
    Peers peers;
    for (int i = 0; i < 30 && !deadline.hasExpired(); ++i) {
        if (auto peer = connectFrom(target.tlsPort, 82)) {
            peers.push_back(std::move(peer));
        }
    }
    hold(500, deadline);
    peers.clear();
    hold(500, deadline);
    return true;
}

} // namespace

QList<SoakAttack> SoakAttack::all() {
    return {
        {QStringLiteral("stalled maximal frames"), stalledMaximalFrames},
        {QStringLiteral("hello only, kept alive"), helloOnlyKeptAlive},
        {QStringLiteral("parallel guesses"), parallelGuesses},
        {QStringLiteral("log flood"), logFlood},
        {QStringLiteral("abandoned sign-ins"), abandonedSignIns},
        {QStringLiteral("half-close, requests pending"), halfCloseWithPendingRequests},
        {QStringLiteral("slow reader"), slowReader},
        {QStringLiteral("pipelining flood"), pipeliningFlood},
        {QStringLiteral("oversized, unfinished frames"), oversizedAndUnfinishedFrames},
        {QStringLiteral("many sessions per address"), manySessionsPerAddress},
        {QStringLiteral("stalled TLS handshakes"), stalledTlsHandshakes},
        {QStringLiteral("abandoned TLS handshakes"), abandonedTlsHandshakes},
    };
}
