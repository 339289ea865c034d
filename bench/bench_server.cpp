// Load on a real lorvex-server over loopback: N connections, each sending one request at a time
// and waiting for its reply, as monitors do. Cases: the cheapest round trip (a property of an
// open object), a Kassa refresh (class access, NichtVerbuchtStatus, close) with the demo
// branch's small reply and with a full reply of 8,192 records, each with the kept reply and
// without it (--no-kept-replies). Reports units per second, latency p50/p99/max, server CPU per
// unit and the server's resident memory; then Redis's GET on the same machine, when Debian's
// redis-server and redis-benchmark are installed.
//
//     bench_server [--seconds 3] [--runs 3] [--connections 1,10,50,200] [--no-redis]
//                  [--kept-only]        (for a server without --no-kept-replies)
//                  [--tls]              (then the round trip over clear text against TLS)
//                  [--baseline PATH]    (another lorvex-server build, measured alongside)
//                  [--one-thread]       (also a server serving every session on one thread;
//                                        the others serve on one thread per core)
//                  [--cases roundtrip,batch,small,full,signin]   (only these cases; batch:
//                                        8 gets in one write, not among the defaults)
//                  [--signin-monitors 200]  (the sign-in storm: with passwords, then with the
//                                            resume tokens after a restart)
//                  [--signin-parallel 16]   (monitors of the storm connecting at the same time)
//                  [--server-cpus 0,1 --client-cpus 2,3]  (servers and load generator apart)
//
// Run it by hand on a quiet machine; it talks to 127.0.0.1 only and ends by itself.
#include "LoadConnection.h"
#include "ProcessUsage.h"
#include "ServerProcess.h"
#include "SignInStorm.h"
#include "TlsComparison.h"

#include "protocol/Framing.h"
#include "protocol/Limits.h"
#include "protocol/MessageCodec.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryFile>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <sys/epoll.h>
#include <vector>

using protocol::Request;
using Clock = LoadConnection::Clock;

namespace {

constexpr qint64 kFirma = 1;
constexpr qint64 kSmallBranch = 0; // the demo data's branch
constexpr qint64 kFullBranch = 7;  // filled with kFullRecords below
constexpr int kFullRecords = 8192;
constexpr int kFullReplyBytes = 175404; // the full branch's reply, in UTF-8
constexpr double kWarmUpSeconds = 0.5;

// RedisGet: only measured alongside RoundTrip, as its anchor.
enum class Kind { RoundTrip, RoundTripBatch, RefreshSmall, RefreshFull, RedisGet };

// Gets a connection sends in one write in the batch case: the client's share of the work
// shrinks, so that the server's capacity shows even where both share a few cores.
constexpr int kBatchGets = 8;

QString kindName(Kind kind) {
    switch (kind) {
    case Kind::RoundTrip:
        return QStringLiteral("round trip (get)");
    case Kind::RoundTripBatch:
        return QStringLiteral("%1 gets in one write").arg(kBatchGets);
    case Kind::RedisGet:
        return QStringLiteral("redis GET (this client)");
    case Kind::RefreshSmall:
        return QStringLiteral("refresh, small reply");
    case Kind::RefreshFull:
        return QStringLiteral("refresh, full reply");
    }
    return {};
}

// The round trips read no telemetry: the kept reply makes no difference.
bool readsNoTelemetry(Kind kind) {
    return kind == Kind::RoundTrip || kind == Kind::RoundTripBatch;
}

QByteArray frameOf(const Request& request) {
    return protocol::encodeFrame(protocol::encodeRequest(request).value());
}

// Everything a monitor's connection does before its first refresh: the handshake, the sign-in
// (not known to a baseline build from before it) and the work context (company, branch, user,
// terminal set-up).
struct CaseResult {
    double unitsPerSecond = 0;
    double p50Us = 0;
    double p99Us = 0;
    double maxUs = 0;
    double serverCpuUsPerUnit = 0;
};

// One measured case on fresh connections; a "unit" is one request (round trip), one batch of
// gets or one refresh.
class LoadCase {
public:
    LoadCase(const ServerProcess& server, Kind kind, int connections, bool signIn)
        : m_serverPid(server.processId())
        , m_kind(kind) {
        const qint64 branch = kind == Kind::RefreshFull ? kFullBranch : kSmallBranch;
        for (int i = 0; i < connections; ++i) {
            auto connection = std::make_unique<LoadConnection>(server.port());
            setUpSession(*connection, kFirma, branch, signIn);
            if (kind == Kind::RoundTrip || kind == Kind::RoundTripBatch) {
                connection->handle =
                    connection->exchange(Request::open("LX.ParPersEdv", "1||DEMO")).handle;
                connection->unitFrame = frameOf(Request::get(connection->handle, "AKTIV"));
                connection->exchange(Request::get(connection->handle, "AKTIV"));
                m_roundTripReply = connection->reply();
                if (kind == Kind::RoundTripBatch) {
                    connection->unitFrame = connection->unitFrame.repeated(kBatchGets);
                    m_roundTripReply = m_roundTripReply.repeated(kBatchGets);
                }
            } else {
                const qint64 kassa =
                    connection->exchange(Request::classAccess("Telemetrie.Kassa")).handle;
                connection->exchange(Request::call(kassa, "NichtVerbuchtStatus", {}));
                m_replyBytes = connection->reply().size();
                connection->exchange(Request::close(kassa));
                m_closeReply = connection->reply();
            }
            m_connections.push_back(std::move(connection));
        }
        m_classFrame = frameOf(Request::classAccess("Telemetrie.Kassa"));
    }

    // Redis's GET of a missing key on a redis-server at port, sent and read by this same loop.
    LoadCase(quint16 port, qint64 pid, int connections)
        : m_serverPid(pid)
        , m_kind(Kind::RedisGet)
        , m_roundTripReply("$-1\r\n") {
        for (int i = 0; i < connections; ++i) {
            auto connection = std::make_unique<LoadConnection>(port);
            connection->unitFrame = "*2\r\n$3\r\nGET\r\n$4\r\nnone\r\n";
            m_connections.push_back(std::move(connection));
        }
    }

    CaseResult run(double seconds) {
        const int poller = ::epoll_create1(EPOLL_CLOEXEC);
        for (const auto& connection : m_connections) {
            epoll_event event{};
            event.events = EPOLLIN;
            event.data.ptr = connection.get();
            ::epoll_ctl(poller, EPOLL_CTL_ADD, connection->fd(), &event);
        }
        const Clock::time_point begin = Clock::now();
        const Clock::time_point measureFrom =
            begin + std::chrono::duration_cast<Clock::duration>(
                        std::chrono::duration<double>(kWarmUpSeconds));
        const Clock::time_point end = measureFrom + std::chrono::duration_cast<Clock::duration>(
                                                        std::chrono::duration<double>(seconds));
        for (const auto& connection : m_connections) {
            startUnit(*connection);
        }
        bool measuring = false;
        double cpuBefore = 0;
        std::vector<epoll_event> events(m_connections.size());
        for (;;) {
            const Clock::time_point now = Clock::now();
            if (!measuring && now >= measureFrom) {
                measuring = true;
                cpuBefore = ProcessUsage::of(m_serverPid).cpuSeconds;
                m_latenciesNs.clear();
            }
            if (now >= end) {
                break;
            }
            const int ready =
                ::epoll_wait(poller, events.data(), static_cast<int>(events.size()), 100);
            for (int i = 0; i < ready; ++i) {
                auto* connection = static_cast<LoadConnection*>(events[i].data.ptr);
                if (connection->readSome()) {
                    advance(*connection);
                }
            }
        }
        const double cpu = ProcessUsage::of(m_serverPid).cpuSeconds - cpuBefore;
        ::close(poller);

        CaseResult result;
        std::sort(m_latenciesNs.begin(), m_latenciesNs.end());
        const auto units = static_cast<double>(m_latenciesNs.size());
        if (units > 0) {
            const auto at = [this](double share) {
                const auto index =
                    static_cast<size_t>(share * static_cast<double>(m_latenciesNs.size() - 1));
                return static_cast<double>(m_latenciesNs[index]) / 1000.0;
            };
            result.unitsPerSecond = units / seconds;
            result.p50Us = at(0.50);
            result.p99Us = at(0.99);
            result.maxUs = at(1.0);
            result.serverCpuUsPerUnit = cpu * 1e6 / units;
        }
        return result;
    }

private:
    void startUnit(LoadConnection& connection) {
        connection.started = Clock::now();
        connection.step = 0;
        if (m_kind == Kind::RoundTrip) {
            connection.send(connection.unitFrame);
        } else if (m_kind == Kind::RoundTripBatch || m_kind == Kind::RedisGet) {
            connection.send(connection.unitFrame);
            connection.expectBytes(m_roundTripReply.size());
        } else {
            connection.send(m_classFrame);
        }
    }

    // A reply is complete: check it, then send the unit's next request or start the next unit.
    void advance(LoadConnection& connection) {
        const QByteArray& reply = connection.reply();
        if (m_kind != Kind::RefreshSmall && m_kind != Kind::RefreshFull) {
            expect(reply == m_roundTripReply, "property reply");
            finishUnit(connection);
            return;
        }
        switch (connection.step) {
        case 0:
            connection.handle = connection.decodedReply().handle;
            connection.step = 1;
            connection.send(frameOf(Request::call(connection.handle, "NichtVerbuchtStatus", {})));
            return;
        case 1:
            expect(reply.size() == m_replyBytes, "NichtVerbuchtStatus reply");
            connection.step = 2;
            connection.send(frameOf(Request::close(connection.handle)));
            return;
        default:
            expect(reply == m_closeReply, "close reply");
            finishUnit(connection);
        }
    }

    void finishUnit(LoadConnection& connection) {
        m_latenciesNs.push_back(
            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - connection.started)
                .count());
        startUnit(connection);
    }

    static void expect(bool condition, const char* what) {
        if (!condition) {
            throw std::runtime_error(std::string("unexpected ") + what);
        }
    }

    qint64 m_serverPid;
    Kind m_kind;
    std::vector<std::unique_ptr<LoadConnection>> m_connections;
    std::vector<qint64> m_latenciesNs;
    QByteArray m_roundTripReply;
    QByteArray m_closeReply;
    QByteArray m_classFrame;
    qsizetype m_replyBytes = 0;
};

// A branch with the largest reply a monitor folds: kFullRecords distinct registers.
bool seedFullBranch(ServerProcess& server) {
    QTemporaryFile lines;
    if (!lines.open()) {
        return false;
    }
    QTextStream out(&lines);
    for (int i = 0; i < kFullRecords; ++i) {
        out << (1000 + i) << '|' << (i % 17) << '|' << (100000 + (i * 7919) % 900000) << '|'
            << (100000 + (i * 104729) % 900000) << '\n';
    }
    out.flush();
    return server.runAdmin({"import-registers", "--firma", QString::number(kFirma), "--branch",
                            QString::number(kFullBranch), lines.fileName()}) == 0;
}

struct Options {
    double seconds = 3.0;
    int runs = 3;
    QList<int> connections{1, 10, 50, 200};
    bool redis = true;
    bool keptOnly = false;
    bool tls = false;
    QString baseline;
    bool oneThread = false;
    QList<Kind> kinds{Kind::RoundTrip, Kind::RefreshSmall, Kind::RefreshFull};
    bool signInStorm = true;
    int signInMonitors = 200;
    int signInParallel = 16;
    // Where the servers (ours and Redis) and the load generator run; empty: anywhere. Kept
    // apart, the generator's share of the CPU no longer limits what several serving threads
    // can show.
    QList<int> serverCpus;
    QList<int> clientCpus;
};

QList<int> cpuList(const QString& text) {
    QList<int> cpus;
    for (const QString& part : text.split(',', Qt::SkipEmptyParts)) {
        bool ok = false;
        const int cpu = part.toInt(&ok);
        if (!ok || cpu < 0 || cpu >= CPU_SETSIZE) {
            throw std::runtime_error("not a CPU number: " + part.toStdString());
        }
        cpus.append(cpu);
    }
    return cpus;
}

Options parseOptions(const QStringList& args) {
    Options options;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        const QString next = args.value(i + 1);
        if (arg == "--seconds") {
            options.seconds = next.toDouble();
            ++i;
        } else if (arg == "--runs") {
            options.runs = next.toInt();
            ++i;
        } else if (arg == "--connections") {
            options.connections.clear();
            for (const QString& n : next.split(',')) {
                options.connections.append(n.toInt());
            }
            ++i;
        } else if (arg == "--no-redis") {
            options.redis = false;
        } else if (arg == "--tls") {
            options.tls = true;
        } else if (arg == "--kept-only") {
            options.keptOnly = true;
        } else if (arg == "--one-thread") {
            options.oneThread = true;
        } else if (arg == "--baseline") {
            options.baseline = next;
            ++i;
        } else if (arg == "--server-cpus") {
            options.serverCpus = cpuList(next);
            ++i;
        } else if (arg == "--client-cpus") {
            options.clientCpus = cpuList(next);
            ++i;
        } else if (arg == "--signin-parallel") {
            options.signInParallel = std::clamp(next.toInt(), 1, 250);
            ++i;
        } else if (arg == "--signin-monitors") {
            options.signInMonitors = std::clamp(next.toInt(), 1, 100000);
            ++i;
        } else if (arg == "--cases") {
            options.kinds.clear();
            options.signInStorm = false;
            for (const QString& name : next.split(',')) {
                if (name == "roundtrip") {
                    options.kinds.append(Kind::RoundTrip);
                } else if (name == "batch") {
                    options.kinds.append(Kind::RoundTripBatch);
                } else if (name == "small") {
                    options.kinds.append(Kind::RefreshSmall);
                } else if (name == "full") {
                    options.kinds.append(Kind::RefreshFull);
                } else if (name == "signin") {
                    options.signInStorm = true;
                } else {
                    throw std::runtime_error("unknown case " + name.toStdString());
                }
            }
            ++i;
        } else {
            throw std::runtime_error("unknown option " + arg.toStdString());
        }
    }
    options.seconds = std::clamp(options.seconds, 0.2, 30.0);
    options.runs = std::clamp(options.runs, 1, 9);
    return options;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

struct Row {
    QString label;
    int connections = 0;
    std::vector<CaseResult> runs;
};

void printRow(const Row& row) {
    std::vector<double> rate, p50, p99, max, cpu;
    for (const CaseResult& r : row.runs) {
        rate.push_back(r.unitsPerSecond);
        p50.push_back(r.p50Us);
        p99.push_back(r.p99Us);
        max.push_back(r.maxUs);
        cpu.push_back(r.serverCpuUsPerUnit);
    }
    std::printf("%-44s %5d %12.0f %10.1f %10.1f %10.1f %12.1f\n", qPrintable(row.label),
                row.connections, median(rate), median(p50), median(p99), median(max), median(cpu));
    std::fflush(stdout);
}

void printHeader() {
    std::printf("%-44s %5s %12s %10s %10s %10s %12s\n", "case", "conns", "units/s", "p50 us",
                "p99 us", "max us", "srv CPU us");
}

// Redis's GET with its own benchmark client (redis-benchmark), on a redis-server started here
// on 127.0.0.1, measured right after our round trip so both meet the same machine.
class RedisAnchor {
public:
    explicit RedisAnchor(const QList<int>& cpus) {
        const QString server = QStandardPaths::findExecutable("redis-server");
        m_client = QStandardPaths::findExecutable("redis-benchmark");
        if (server.isEmpty() || m_client.isEmpty()) {
            return;
        }
        QTcpServer probe; // a free port for it
        probe.listen(QHostAddress::LocalHost, 0);
        m_port = probe.serverPort();
        probe.close();
        m_server.setStandardOutputFile(QProcess::nullDevice());
        m_server.setChildProcessModifier([cpus] { ServerProcess::restrictToCpus(cpus); });
        m_server.start(server, {"--bind", "127.0.0.1", "--port", QString::number(m_port), "--save",
                                "", "--appendonly", "no", "--daemonize", "no"});
        if (m_server.waitForStarted(5000)) {
            QThread::msleep(300);
        }
    }
    ~RedisAnchor() {
        m_server.terminate();
        m_server.waitForFinished(5000);
    }
    RedisAnchor(const RedisAnchor&) = delete;
    RedisAnchor& operator=(const RedisAnchor&) = delete;

    bool available() const { return m_server.state() == QProcess::Running; }
    quint16 port() const { return m_port; }
    qint64 processId() const { return m_server.processId(); }

    // GET of a missing key (the cheapest round trip), or with valueBytes of a value of that size
    // stored first (the same bytes as a reply).
    CaseResult measure(int connections, double seconds, int valueBytes = 0) {
        const QStringList target{"-h", "127.0.0.1", "-p", QString::number(m_port)};
        if (valueBytes > 0) {
            QProcess set;
            set.start(m_client, target + QStringList{"-t", "set", "-n", "1", "-d",
                                                     QString::number(valueBytes), "--csv"});
            set.waitForFinished(30000);
        }
        const int requests = static_cast<int>(seconds * (valueBytes > 0     ? 4000
                                                         : connections == 1 ? 30000
                                                                            : 60000));
        const double cpuBefore = ProcessUsage::of(m_server.processId()).cpuSeconds;
        QProcess bench;
        bench.start(m_client, target + QStringList{"-t", "get", "-c", QString::number(connections),
                                                   "-n", QString::number(requests), "--csv"});
        bench.waitForFinished(120000);
        const double cpu = ProcessUsage::of(m_server.processId()).cpuSeconds - cpuBefore;
        // "GET","rps","avg","min","p50","p95","p99","max" (milliseconds)
        const QList<QByteArray> lines = bench.readAllStandardOutput().trimmed().split('\n');
        QList<QByteArray> cells = lines.value(lines.size() - 1).split(',');
        for (QByteArray& cell : cells) {
            cell.replace('"', "");
        }
        CaseResult result;
        result.unitsPerSecond = cells.value(1).toDouble();
        result.p50Us = cells.value(4).toDouble() * 1000;
        result.p99Us = cells.value(6).toDouble() * 1000;
        result.maxUs = cells.value(7).toDouble() * 1000;
        result.serverCpuUsPerUnit = cpu * 1e6 / requests;
        return result;
    }

private:
    QString m_client;
    quint16 m_port = 0;
    QProcess m_server;
};

int runAll(const Options& options) {
    const int machineCores = QThread::idealThreadCount(); // before this process is kept to some
    if (!ServerProcess::restrictToCpus(options.clientCpus)) {
        throw std::runtime_error("the load generator cannot be kept to the CPUs asked for");
    }
    const int serverCores =
        options.serverCpus.isEmpty() ? machineCores : int(options.serverCpus.size());
    struct ServerUnderTest {
        QString label;
        std::unique_ptr<ServerProcess> process;
    };
    std::vector<ServerUnderTest> servers;
    // All connections come from 127.0.0.1: the places of one address are raised to the total.
    const QStringList places{"--max-sessions-per-address", "256"};
    const QStringList perCore =
        places + QStringList{"--serving-threads", QString::number(serverCores)};
    servers.push_back({QStringLiteral("kept"), std::make_unique<ServerProcess>(perCore)});
    if (options.oneThread) {
        servers.push_back(
            {QStringLiteral("kept, one thread"),
             std::make_unique<ServerProcess>(places + QStringList{"--serving-threads", "1"})});
    }
    if (!options.keptOnly) {
        servers.push_back(
            {QStringLiteral("fresh"),
             std::make_unique<ServerProcess>(perCore + QStringList{"--no-kept-replies"})});
    }
    if (!options.baseline.isEmpty()) {
        servers.push_back({QStringLiteral("baseline"),
                           std::make_unique<ServerProcess>(places, options.baseline)});
    }
    for (ServerUnderTest& server : servers) {
        server.process->setCpus(options.serverCpus);
        if (!server.process->start() || !seedFullBranch(*server.process)) {
            std::fprintf(stderr, "cannot start the server: %s\n",
                         qPrintable(server.process->errorText()));
            return 1;
        }
    }
    std::unique_ptr<RedisAnchor> redis;
    if (options.redis) {
        redis = std::make_unique<RedisAnchor>(options.serverCpus);
        if (!redis->available()) {
            std::printf("redis-server or redis-benchmark not installed: no Redis comparison\n");
            redis.reset();
        }
    }

    std::printf("lorvex-server under load: %d run(s) of %.1f s per case, interleaved, medians;"
                " %d cores\n",
                options.runs, options.seconds, machineCores);
    if (!options.serverCpus.isEmpty() || !options.clientCpus.isEmpty()) {
        const auto listed = [](const QList<int>& cpus) {
            QStringList names;
            for (const int cpu : cpus) {
                names.append(QString::number(cpu));
            }
            return cpus.isEmpty() ? QStringLiteral("any") : names.join(',');
        };
        std::printf("servers on CPUs %s (%d serving threads), load generator on CPUs %s\n",
                    qPrintable(listed(options.serverCpus)), serverCores,
                    qPrintable(listed(options.clientCpus)));
    }
    printHeader();
    for (const Kind kind : options.kinds) {
        for (int connections : options.connections) {
            std::vector<Row> rows;
            for (const ServerUnderTest& server : servers) {
                if (!readsNoTelemetry(kind) || server.label != QLatin1String("fresh")) {
                    rows.push_back({kindName(kind) + QStringLiteral(", %1").arg(server.label),
                                    connections,
                                    {}});
                }
            }
            const bool withRedis = (kind == Kind::RoundTrip || kind == Kind::RefreshFull) && redis;
            const int redisBytes = kind == Kind::RefreshFull ? kFullReplyBytes : 0;
            Row redisRow{redisBytes > 0 ? QStringLiteral("redis GET of the reply's size")
                                        : QStringLiteral("redis GET (redis-benchmark)"),
                         connections,
                         {}};
            Row ownClientRow{kindName(Kind::RedisGet), connections, {}};
            for (int run = 0; run < options.runs; ++run) {
                size_t row = 0;
                for (const ServerUnderTest& server : servers) {
                    if (readsNoTelemetry(kind) && server.label == QLatin1String("fresh")) {
                        continue;
                    }
                    rows[row++].runs.push_back(
                        LoadCase(*server.process, kind, connections, true).run(options.seconds));
                }
                if (withRedis) {
                    redisRow.runs.push_back(
                        redis->measure(connections, options.seconds, redisBytes));
                }
                if (withRedis && kind == Kind::RoundTrip) {
                    // The same loop as ours: latencies of one client, comparable as they are.
                    ownClientRow.runs.push_back(
                        LoadCase(redis->port(), redis->processId(), connections)
                            .run(options.seconds));
                }
            }
            for (const Row& row : rows) {
                printRow(row);
            }
            if (!ownClientRow.runs.empty()) {
                printRow(ownClientRow);
            }
            if (withRedis) {
                printRow(redisRow);
            }
        }
    }
    if (options.tls) {
        const QString data = QStringLiteral(LORVEX_TLS_TEST_DATA);
        ServerProcess tls(places + QStringList{"--tls-cert", data + "/server.pem", "--tls-key",
                                               data + "/server.key"});
        if (!tls.start()) {
            std::fprintf(stderr, "cannot start the TLS server: %s\n", qPrintable(tls.errorText()));
            return 1;
        }
        compareTls(*servers.front().process, tls, data + "/ca.pem", options.connections,
                   options.seconds, options.runs);
    }
    if (options.signInStorm) {
        // Last: it restarts the server.
        compareSignInStorms(*servers.front().process, options.signInMonitors,
                            options.signInParallel);
    }
    for (const ServerUnderTest& server : servers) {
        const ProcessUsage usage = ProcessUsage::of(server.process->processId());
        std::printf("server (%s): resident %lld KiB at the end, peak %lld KiB\n",
                    qPrintable(server.label), static_cast<long long>(usage.residentKiB),
                    static_cast<long long>(usage.peakResidentKiB));
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    try {
        return runAll(parseOptions(QCoreApplication::arguments()));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_server: %s\n", error.what());
        return 1;
    }
}
