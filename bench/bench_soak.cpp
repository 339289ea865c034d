// A soak run: legitimate monitors refresh while hostile peers run every attack class in a loop.
// It starts two servers with the demo data (clear text, and TLS with the test certificates of
// tests/data/tls; the TLS one gets only the handshake attacks), then for the chosen time:
//  - N monitors through the client's own connectivity component (TcpCacheFactory), half on each
//    server, signed in as DEMO, each reading Kassa and Zeiterfassung every interval and turning
//    the replies into rows as the windows do; every few intervals a monitor connects and signs in
//    afresh, as a restarted monitor would, so that the listener and the sign-in are measured too;
//  - one loop per attack class (SoakAttacks.h), from addresses of 127.0.0.0/8.
// Every 10 s it prints both servers' resident memory and connections held; at the end the
// refreshes' and sign-ins' p50/p99, the failed refreshes (must be 0), the peak memory against
// the stated bound and the rounds of each attack.
//
//     bench_soak [--minutes 30] [--monitors 8] [--interval-ms 10000] [--reconnect-every 6]
//                [--server OTHER-BUILD/server/lorvex-server]
//
// Run it by hand; it talks to 127.0.0.0/8 only and ends by itself.
#include "ProcessUsage.h"
#include "ServerProcess.h"
#include "SoakAttacks.h"

#include "monitors/MonitorKind.h"
#include "objectclient/CacheError.h"
#include "objectclient/CacheValue.h"
#include "objectclient/TcpCacheFactory.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QMutex>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

// docs/server.md: what the process holds at most, whatever peers send.
constexpr qint64 kMemoryBoundKiB = 660 * 1024;
constexpr int kSampleMs = 10000;

struct Options {
    double minutes = 30;
    int monitors = 8;
    int intervalMs = 10000;
    int reconnectEvery = 6;
    QString server = ServerProcess::executable();
};

Options parseOptions(const QStringList& args) {
    Options options;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        const QString next = args.value(++i);
        if (arg == "--minutes") {
            options.minutes = next.toDouble();
        } else if (arg == "--monitors") {
            options.monitors = next.toInt();
        } else if (arg == "--interval-ms") {
            options.intervalMs = next.toInt();
        } else if (arg == "--reconnect-every") {
            options.reconnectEvery = next.toInt();
        } else if (arg == "--server") {
            options.server = next;
        } else {
            throw std::runtime_error("unknown option " + arg.toStdString());
        }
    }
    options.minutes = std::clamp(options.minutes, 0.2, 24 * 60.0);
    options.monitors = std::clamp(options.monitors, 1, 64);
    options.intervalMs = std::clamp(options.intervalMs, 200, 60000);
    options.reconnectEvery = std::max(options.reconnectEvery, 1);
    return options;
}

// What the monitors measured, shared by their threads.
class Measurements {
public:
    void refreshed(qint64 ns) { add(m_refreshNs, ns); }
    void signedIn(qint64 ns) { add(m_signInNs, ns); }
    void failed(const QString& what) {
        const QMutexLocker lock(&m_mutex);
        ++m_failures;
        ++m_failureTexts[what];
    }

    int refreshes() const { return size(m_refreshNs); }
    int signIns() const { return size(m_signInNs); }
    int failures() const {
        const QMutexLocker lock(&m_mutex);
        return m_failures;
    }
    void print() const {
        const QMutexLocker lock(&m_mutex);
        printLatencies("refreshes", m_refreshNs);
        printLatencies("sign-ins", m_signInNs);
        std::printf("failed refreshes and sign-ins: %d\n", m_failures);
        for (auto it = m_failureTexts.cbegin(); it != m_failureTexts.cend(); ++it) {
            std::printf("  %5d x %s\n", it.value(), qPrintable(it.key()));
        }
    }

private:
    void add(std::vector<qint64>& values, qint64 ns) {
        const QMutexLocker lock(&m_mutex);
        values.push_back(ns);
    }
    int size(const std::vector<qint64>& values) const {
        const QMutexLocker lock(&m_mutex);
        return static_cast<int>(values.size());
    }
    static void printLatencies(const char* what, std::vector<qint64> values) {
        std::sort(values.begin(), values.end());
        const auto ms = [&](double share) {
            return values.empty() ? 0.0
                                  : static_cast<double>(values[static_cast<size_t>(
                                        share * static_cast<double>(values.size() - 1))]) /
                                        1e6;
        };
        std::printf("%-10s %7zu   p50 %9.2f ms   p99 %9.2f ms   max %9.2f ms\n", what,
                    values.size(), ms(0.5), ms(0.99), ms(1.0));
    }

    mutable QMutex m_mutex;
    std::vector<qint64> m_refreshNs;
    std::vector<qint64> m_signInNs;
    int m_failures = 0;
    QMap<QString, int> m_failureTexts;
};

// One monitor: its own connection through the client's connectivity component.
class SoakMonitor {
public:
    SoakMonitor(QString connectString, TcpSecurity security, const Options& options,
                Measurements& measurements)
        : m_connectString(std::move(connectString))
        , m_security(std::move(security))
        , m_options(options)
        , m_measurements(measurements) {}

    void run(const QDeadlineTimer& deadline) {
        const MonitorKind kinds[] = {MonitorKind::kassa(), MonitorKind::zeiterfassung()};
        for (int interval = 0; !deadline.hasExpired(); ++interval) {
            const QDeadlineTimer next(m_options.intervalMs);
            if (!m_factory || interval % m_options.reconnectEvery == 0) {
                signIn();
            }
            for (const MonitorKind& kind : kinds) {
                if (m_factory) {
                    refresh(kind);
                }
            }
            while (!next.hasExpired() && !deadline.hasExpired()) {
                QThread::msleep(50);
            }
        }
    }

private:
    void signIn() {
        m_factory.reset();
        QElapsedTimer timer;
        timer.start();
        auto factory = std::make_unique<TcpCacheFactory>(TcpTimeouts{}, m_security);
        try {
            if (!factory->connect(m_connectString)) {
                m_measurements.failed(QStringLiteral("connect: %1").arg(factory->connectFailure()));
                return;
            }
            if (!factory->signIn(QStringLiteral("1"), QStringLiteral("DEMO"),
                                 QStringLiteral("demo"))) {
                m_measurements.failed(QStringLiteral("sign-in refused"));
                return;
            }
            factory->classAccess(QStringLiteral("LX.Windows"))
                ->call(QStringLiteral("Xecute"),
                       {QStringLiteral("S FIRMA=1,FIL=0,PERSONAL=\"DEMO\"")});
        } catch (const CacheError& error) {
            m_measurements.failed(QStringLiteral("sign-in: %1").arg(error.description()));
            return;
        }
        m_measurements.signedIn(timer.nsecsElapsed());
        m_factory = std::move(factory);
    }

    void refresh(const MonitorKind& kind) {
        QElapsedTimer timer;
        timer.start();
        try {
            const QString reply =
                cacheValueToText(m_factory->classAccess(kind.className)->call(kind.methodName, {}));
            if (kind.rowsOf(reply, QLocale::c()).isEmpty()) {
                m_measurements.failed(QStringLiteral("%1: no rows").arg(kind.className));
                return;
            }
        } catch (const CacheError& error) {
            m_measurements.failed(
                QStringLiteral("%1: %2").arg(kind.className, error.description()));
            m_factory.reset(); // the client connects afresh after a failed access
            return;
        }
        m_measurements.refreshed(timer.nsecsElapsed());
    }

    QString m_connectString;
    TcpSecurity m_security;
    const Options& m_options;
    Measurements& m_measurements;
    std::unique_ptr<TcpCacheFactory> m_factory;
};

// Connections the server holds on its port: established, or closed by the peer and not yet by
// the server (from /proc/net/tcp; the accept queue's are among them).
int connectionsHeld(quint16 port) {
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QByteArray local = ':' + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    int held = 0;
    for (const QByteArray& line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && fields[1].endsWith(local) &&
            (fields[3] == "01" || fields[3] == "08")) {
            ++held;
        }
    }
    return held;
}

int runSoak(const Options& options) {
    const QString tlsData = QStringLiteral(LORVEX_TLS_TEST_DATA);
    ServerProcess plain({}, options.server);
    ServerProcess tls({"--tls-cert", tlsData + "/server.pem", "--tls-key", tlsData + "/server.key"},
                      options.server);
    if (!plain.start() || !tls.start()) {
        std::fprintf(stderr, "cannot start the servers: %s %s\n", qPrintable(plain.errorText()),
                     qPrintable(tls.errorText()));
        return 1;
    }
    const QDeadlineTimer deadline(static_cast<qint64>(options.minutes * 60000));
    Measurements measurements;
    std::vector<std::unique_ptr<SoakMonitor>> monitors;
    std::vector<std::unique_ptr<QThread>> threads;
    for (int i = 0; i < options.monitors; ++i) {
        const bool overTls = i % 2 == 1;
        monitors.push_back(std::make_unique<SoakMonitor>(
            (overTls ? tls : plain).connectString(),
            overTls ? TcpSecurity{true, tlsData + "/ca.pem"} : TcpSecurity{}, options,
            measurements));
        threads.emplace_back(QThread::create(
            [monitor = monitors.back().get(), deadline] { monitor->run(deadline); }));
    }
    const SoakTarget target{plain.port(), tls.port()};
    const QList<SoakAttack> attacks = SoakAttack::all();
    std::vector<SoakTally> tallies(static_cast<size_t>(attacks.size()));
    for (qsizetype i = 0; i < attacks.size(); ++i) {
        threads.emplace_back(QThread::create([&, i] {
            SoakTally& tally = tallies[static_cast<size_t>(i)];
            while (!deadline.hasExpired()) {
                const bool kept = attacks[i].round(target, deadline);
                ++tally.rounds;
                tally.broken += kept ? 0 : 1;
            }
        }));
    }
    std::printf("soak: %.1f min, %d monitors (every %d ms, new sign-in every %d), %lld attack"
                " loops; %d cores\n",
                options.minutes, options.monitors, options.intervalMs, options.reconnectEvery,
                static_cast<long long>(attacks.size()), QThread::idealThreadCount());
    std::printf("%8s %14s %14s %10s %10s %10s %9s\n", "time s", "plain RSS MiB", "TLS RSS MiB",
                "plain conn", "TLS conn", "refreshes", "failures");
    // The monitors were there before the attack: each signs in once before the attackers start.
    for (int i = 0; i < options.monitors; ++i) {
        threads[static_cast<size_t>(i)]->start();
    }
    const QDeadlineTimer warmUp(20000);
    while (measurements.signIns() + measurements.failures() < options.monitors &&
           !warmUp.hasExpired()) {
        QThread::msleep(50);
    }
    for (size_t i = static_cast<size_t>(options.monitors); i < threads.size(); ++i) {
        threads[i]->start();
    }
    qint64 peakKiB = 0;
    QElapsedTimer clock;
    clock.start();
    while (!deadline.hasExpired()) {
        QThread::msleep(static_cast<unsigned long>(
            std::min<qint64>(kSampleMs, std::max<qint64>(1, deadline.remainingTime()))));
        const qint64 plainKiB = ProcessUsage::of(plain.processId()).residentKiB;
        const qint64 tlsKiB = ProcessUsage::of(tls.processId()).residentKiB;
        peakKiB = std::max({peakKiB, plainKiB, tlsKiB});
        std::printf("%8.0f %14.1f %14.1f %10d %10d %10d %9d\n",
                    static_cast<double>(clock.elapsed()) / 1000.0,
                    static_cast<double>(plainKiB) / 1024.0, static_cast<double>(tlsKiB) / 1024.0,
                    connectionsHeld(plain.port()), connectionsHeld(tls.port()),
                    measurements.refreshes(), measurements.failures());
        std::fflush(stdout);
    }
    for (const auto& thread : threads) {
        thread->wait();
    }
    measurements.print();
    for (qsizetype i = 0; i < attacks.size(); ++i) {
        const SoakTally& tally = tallies[static_cast<size_t>(i)];
        std::printf("attack %-32s rounds %6ld   promise broken in %ld\n",
                    qPrintable(attacks[i].name), tally.rounds.load(), tally.broken.load());
    }
    for (const auto& [label, server] : {std::pair{"plain", &plain}, std::pair{"TLS", &tls}}) {
        const ProcessUsage usage = ProcessUsage::of(server->processId());
        std::printf("server (%s): resident %.1f MiB at the end, peak %.1f MiB%s\n", label,
                    static_cast<double>(usage.residentKiB) / 1024.0,
                    static_cast<double>(usage.peakResidentKiB) / 1024.0,
                    server->isRunning() ? "" : " (it has ended)");
        peakKiB = std::max(peakKiB, usage.peakResidentKiB);
    }
    const bool withinBound = peakKiB < kMemoryBoundKiB;
    std::printf("peak resident memory %.1f MiB: %s the bound of %lld MiB\n",
                static_cast<double>(peakKiB) / 1024.0, withinBound ? "within" : "ABOVE",
                kMemoryBoundKiB / 1024);
    return withinBound && measurements.failures() == 0 && plain.isRunning() && tls.isRunning() ? 0
                                                                                               : 3;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    try {
        return runSoak(parseOptions(QCoreApplication::arguments()));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_soak: %s\n", error.what());
        return 1;
    }
}
