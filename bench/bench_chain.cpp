// A chain on one PostgreSQL database, by hand: N servers, M monitors refreshing both windows at
// their interval (spread over the servers, each moving on to the next server when its own is
// gone), K feeders importing a branch of 20 register records back to back, and a schedule of
// faults. A phase is its fault for --phase-seconds, then as long again to recover. Per phase it
// prints refreshes per second, the longest gap any monitor saw between two
// good refreshes, failed refreshes, imports per second with their median, and imports that
// reported success but are not (or not whole) in the database: lost, which must stay 0.
//
//   bench_chain [--servers 3] [--monitors 60] [--feeders 10] [--interval-ms 10000]
//               [--phase-seconds 30] [--imports-per-second 0]
//               [--phases steady,kill,stop,hang,restart,promote]
//
// promote (the primary stopped, its streaming standby promoted; the servers and feeders are
// given both hosts from the start) must be the last phase: the old primary does not come back.
// It runs against the cluster LORVEX_TEST_POSTGRES_DIR names, or starts a throw-away one with
// scripts/pg-test-cluster.sh.

#include "LoadConnection.h"
#include "PostgresCluster.h"
#include "ServerProcess.h"

#include "protocol/Request.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

using protocol::Request;
using Clock = std::chrono::steady_clock;

namespace {

constexpr qint64 kFirma = 1;
constexpr int kRecordsPerImport = 20;
constexpr int kFirstFeederBranch = 100;

struct Options {
    int servers = 3;
    int monitors = 60;
    int feeders = 10;
    int intervalMs = 10000;
    int phaseSeconds = 30;
    int importsPerSecond = 0; // of all feeders together; 0: each as fast as it can
    QStringList phases{"steady", "kill", "stop", "hang", "restart"};
};

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// What the threads count during one phase.
struct PhaseCounts {
    std::mutex mutex;
    qint64 refreshes = 0;
    qint64 failedRefreshes = 0;
    double longestGapMs = 0;
    std::vector<double> importMs;
    qint64 failedImports = 0;

    void reset() {
        const std::lock_guard lock(mutex);
        refreshes = failedRefreshes = failedImports = 0;
        longestGapMs = 0;
        importMs.clear();
    }
};

class Chain {
public:
    Chain(const Options& options, std::vector<quint16> ports, QString databaseUrl)
        : m_options(options)
        , m_ports(std::move(ports))
        , m_url(std::move(databaseUrl))
        , m_lastGood(size_t(options.monitors))
        , m_lastImported(size_t(options.feeders)) {}

    void start() {
        const Clock::time_point now = Clock::now();
        for (auto& good : m_lastGood) {
            good.store(now.time_since_epoch().count());
        }
        for (int i = 0; i < m_options.monitors; ++i) {
            m_threads.emplace_back([this, i] { monitor(i); });
        }
        for (int k = 0; k < m_options.feeders; ++k) {
            m_threads.emplace_back([this, k] { feed(k); });
        }
    }
    void stop() {
        m_stop = true;
        for (std::thread& thread : m_threads) {
            thread.join();
        }
    }
    PhaseCounts& counts() { return m_counts; }
    // Gaps still open at the end of a phase count as well.
    double openGapMs() const {
        double longest = 0;
        const Clock::time_point now = Clock::now();
        for (const auto& good : m_lastGood) {
            const Clock::time_point at{Clock::duration(good.load())};
            longest = std::max(longest, msBetween(at, now));
        }
        return longest;
    }
    int lastImported(int feeder) const { return m_lastImported[size_t(feeder)].load(); }
    int monitorsRefreshed() const { return m_monitorsRefreshed.load(); }

private:
    void monitor(int index) {
        const qint64 branch = kFirstFeederBranch + index % std::max(1, m_options.feeders);
        size_t server = size_t(index) % m_ports.size();
        std::unique_ptr<LoadConnection> link;
        bool refreshedOnce = false;
        Clock::time_point next =
            Clock::now() + std::chrono::milliseconds(m_options.intervalMs * index /
                                                     std::max(1, m_options.monitors));
        while (!m_stop) {
            std::this_thread::sleep_until(next);
            next += std::chrono::milliseconds(m_options.intervalMs);
            try {
                if (!link) {
                    auto fresh =
                        std::make_unique<LoadConnection>(m_ports[server], quint32(256 + index));
                    setUpSession(*fresh, kFirma, branch);
                    link = std::move(fresh); // only once it is signed in
                }
                for (const char* window : {"Telemetrie.Kassa", "Telemetrie.Zeiterfassung"}) {
                    const qint64 handle = link->exchange(Request::classAccess(window)).handle;
                    link->exchange(Request::call(handle,
                                                 qstrcmp(window, "Telemetrie.Kassa") == 0
                                                     ? "NichtVerbuchtStatus"
                                                     : "Zaehlerstand",
                                                 {}));
                    link->exchange(Request::close(handle));
                }
                if (!refreshedOnce) {
                    refreshedOnce = true;
                    ++m_monitorsRefreshed;
                }
                const Clock::time_point now = Clock::now();
                const Clock::time_point last{Clock::duration(m_lastGood[size_t(index)].load())};
                m_lastGood[size_t(index)].store(now.time_since_epoch().count());
                const std::lock_guard lock(m_counts.mutex);
                ++m_counts.refreshes;
                m_counts.longestGapMs = std::max(m_counts.longestGapMs, msBetween(last, now));
            } catch (const std::runtime_error& error) {
                {
                    const std::lock_guard lock(m_counts.mutex);
                    ++m_counts.failedRefreshes;
                    if (m_seenErrors.insert(QByteArray(error.what()).left(60)).second) {
                        std::fprintf(stderr, "monitor: %s\n", error.what());
                    }
                }
                // An error reply leaves the session; a lost link moves on to the next server.
                if (!QByteArray(error.what()).startsWith("error reply")) {
                    link.reset();
                    server = (server + 1) % m_ports.size();
                }
            }
        }
    }

    // One "feed" process per feeder, as a store's feed program would keep it: each block is
    // answered once committed. A feed that fails (its process gone) is started again.
    void feed(int feeder) {
        const QString branch = QString::number(kFirstFeederBranch + feeder);
        const QProcessEnvironment environment = PostgresCluster::forTests()->environment();
        std::unique_ptr<QProcess> admin;
        const auto pause = std::chrono::milliseconds(
            m_options.importsPerSecond > 0 ? 1000 * m_options.feeders / m_options.importsPerSecond
                                           : 0);
        Clock::time_point next = Clock::now() + pause * feeder / std::max(1, m_options.feeders);
        for (int import = 1; !m_stop; ++import) {
            std::this_thread::sleep_until(next);
            next += pause;
            if (!admin || admin->state() != QProcess::Running) {
                admin = std::make_unique<QProcess>();
                admin->setProcessEnvironment(environment);
                admin->start(ServerProcess::executable(), {"--db", m_url, "feed"});
                if (!admin->waitForStarted(10000)) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(500));
                    continue;
                }
            }
            QByteArray block =
                "registers " + QByteArray::number(kFirma) + ' ' + branch.toLatin1() + '\n';
            for (int r = 1; r <= kRecordsPerImport; ++r) {
                block += QByteArray::number(r) + '|' + QByteArray::number(import) + "|100|1" +
                         QByteArray::number(import % 1000) + '\n';
            }
            block += ".\n";
            const Clock::time_point started = Clock::now();
            admin->write(block);
            admin->waitForBytesWritten(10000);
            while (!admin->canReadLine() && admin->waitForReadyRead(30000)) {
            }
            const QByteArray answer = admin->readLine();
            const double took = msBetween(started, Clock::now());
            const std::lock_guard lock(m_counts.mutex);
            if (answer.startsWith("ok ")) {
                m_counts.importMs.push_back(took);
                m_lastImported[size_t(feeder)].store(import);
            } else {
                ++m_counts.failedImports;
                if (m_seenErrors.insert(answer.left(60)).second) {
                    std::fprintf(stderr, "feeder: %s\n", answer.left(200).constData());
                }
                if (answer.isEmpty()) {
                    admin.reset(); // no answer in 30 s: a new feed
                }
            }
        }
        if (admin) {
            admin->closeWriteChannel();
            admin->waitForFinished(10000);
        }
    }

    const Options m_options;
    const std::vector<quint16> m_ports;
    const QString m_url;
    std::vector<std::atomic<Clock::rep>> m_lastGood;
    std::vector<std::atomic<int>> m_lastImported;
    PhaseCounts m_counts;
    std::set<QByteArray> m_seenErrors; // under m_counts.mutex
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_monitorsRefreshed{0};
    std::vector<std::thread> m_threads;
};

// Imports that said "done" and are not in the database whole: each feeder's branch must hold
// exactly 20 records of one import, that import at least the last one reported done.
int lostImports(const Chain& chain, const Options& options, const QString& database,
                const QString& primary) {
    int lost = 0;
    {
        QSqlDatabase db = PostgresCluster::forTests()->connect(database, "check");
        if (!primary.isEmpty()) {
            db.close();
            db.setHostName(primary.section(':', 0, 0));
            db.setPort(primary.section(':', 1).toInt());
            db.open();
        }
        if (!db.isOpen()) {
            std::fprintf(stderr, "cannot read the database to check the imports\n");
            return -1;
        }
        for (int k = 0; k < options.feeders; ++k) {
            QSqlQuery query(db);
            const bool read = query.exec(
                QStringLiteral("SELECT anzahl, COUNT(*) FROM tm_register WHERE firma = %1"
                               " AND filiale = %2 GROUP BY anzahl")
                    .arg(kFirma)
                    .arg(kFirstFeederBranch + k));
            if (!read) {
                std::fprintf(stderr, "imports not checked: %s\n",
                             qPrintable(query.lastError().text()));
                return -1;
            }
            int groups = 0;
            QStringList found;
            bool whole = false;
            while (query.next()) {
                ++groups;
                found << query.value(0).toString() + "x" + query.value(1).toString();
                whole = query.value(1).toInt() == kRecordsPerImport &&
                        query.value(0).toInt() >= chain.lastImported(k);
            }
            if (chain.lastImported(k) > 0 && (groups != 1 || !whole)) {
                std::fprintf(stderr, "branch %d: import %d reported done, found %s\n",
                             kFirstFeederBranch + k, chain.lastImported(k),
                             qPrintable(found.join(", ")));
                ++lost;
            }
        }
    }
    QSqlDatabase::removeDatabase("check");
    return lost;
}

// primary: the host holding the database now ("HOST:PORT"), empty for the cluster's own.
void printPhase(const QString& name, Chain& chain, const Options& options, double seconds,
                const QString& database, const QString& primary) {
    PhaseCounts& counts = chain.counts();
    std::vector<double> imports;
    double longestGap = 0;
    qint64 refreshes = 0;
    qint64 failed = 0;
    qint64 failedImports = 0;
    {
        const std::lock_guard lock(counts.mutex);
        imports = counts.importMs;
        longestGap = std::max(counts.longestGapMs, chain.openGapMs());
        refreshes = counts.refreshes;
        failed = counts.failedRefreshes;
        failedImports = counts.failedImports;
    }
    std::sort(imports.begin(), imports.end());
    const double median = imports.empty() ? 0 : imports[imports.size() / 2];
    const double longest = imports.empty() ? 0 : imports.back();
    std::printf("%-10s %10.1f %8.1f %8lld %10.1f %10.1f %10.0f %8lld %6d\n", qPrintable(name),
                double(refreshes) / seconds, longestGap / 1000.0, static_cast<long long>(failed),
                double(imports.size()) / seconds, median, longest,
                static_cast<long long>(failedImports),
                lostImports(chain, options, database, primary));
    std::fflush(stdout);
}

Options parseOptions(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addHelpOption();
    const QList<std::pair<const char*, int Options::*>> numbers{
        {"servers", &Options::servers},
        {"monitors", &Options::monitors},
        {"feeders", &Options::feeders},
        {"interval-ms", &Options::intervalMs},
        {"phase-seconds", &Options::phaseSeconds},
        {"imports-per-second", &Options::importsPerSecond}};
    for (const auto& [name, field] : numbers) {
        parser.addOption({QString::fromLatin1(name), QString::fromLatin1(name), "n"});
    }
    parser.addOption({"phases", "steady,kill,stop,hang,restart,promote", "list"});
    parser.process(arguments);
    Options options;
    for (const auto& [name, field] : numbers) {
        if (parser.isSet(QString::fromLatin1(name))) {
            options.*field = std::max(field == &Options::servers ? 1 : 0,
                                      parser.value(QString::fromLatin1(name)).toInt());
        }
    }
    if (parser.isSet("phases")) {
        options.phases = parser.value("phases").split(',');
    }
    return options;
}

bool fault(const QString& phase, bool begin, std::vector<std::unique_ptr<ServerProcess>>& servers) {
    const PostgresCluster* cluster = PostgresCluster::forTests();
    QString error;
    bool done = true;
    if (phase == "kill") {
        if (begin) {
            servers.front()->kill();
        } else {
            done = servers.front()->restart();
        }
    } else if (phase == "stop") {
        done = begin ? cluster->pause(&error) : cluster->resume(&error);
    } else if (phase == "hang") {
        done = begin ? cluster->hang(&error) : cluster->unhang(&error);
    } else if (phase == "restart" && begin) {
        done = cluster->restart(&error);
    } else if (phase == "promote" && begin) {
        done = cluster->pause(&error) && cluster->promoteStandby(&error);
    }
    if (!done) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(phase), qPrintable(error));
    }
    return done;
}

int run(const Options& options) {
    QTemporaryDir clusterDir;
    const bool ownCluster = qEnvironmentVariableIsEmpty("LORVEX_TEST_POSTGRES_DIR");
    if (ownCluster) {
        if (QProcess::execute("bash",
                              {LORVEX_PG_TEST_CLUSTER_SCRIPT, "start", clusterDir.path()}) != 0) {
            std::fprintf(stderr, "no PostgreSQL cluster could be started\n");
            return 1;
        }
        qputenv("LORVEX_TEST_POSTGRES_DIR", clusterDir.path().toLocal8Bit());
    }
    int status = 0;
    const PostgresCluster* cluster = PostgresCluster::forTests();
    QString standby;
    if (options.phases.contains("promote")) {
        QString error;
        standby = cluster->startStandby(&error);
        if (standby.isEmpty()) {
            std::fprintf(stderr, "no standby: %s\n", qPrintable(error));
            return 1;
        }
    }
    {
        std::vector<std::unique_ptr<ServerProcess>> servers;
        std::vector<quint16> ports;
        for (int i = 0; i < options.servers; ++i) {
            servers.push_back(
                std::make_unique<ServerProcess>(QStringList{"--max-sessions-per-address", "256"}));
            if (i > 0) {
                servers.back()->shareDatabaseWith(*servers.front());
            }
            if (!standby.isEmpty()) {
                servers.back()->alsoListHost(standby);
            }
            if (!servers.back()->start()) {
                std::fprintf(stderr, "%s\n", qPrintable(servers.back()->errorText()));
                return 1;
            }
            ports.push_back(servers.back()->port());
        }
        const QString url = servers.front()->databaseArgument();
        const QString database = url.section('/', -1).section('?', 0, 0);
        QString primary;
        for (int k = 0; k < options.feeders; ++k) {
            servers.front()->runAdmin({"import-registers", "--firma", QString::number(kFirma),
                                       "--branch", QString::number(kFirstFeederBranch + k), "-"},
                                      "1|0|100|100\n");
        }
        std::printf("%d servers, %d monitors every %d ms, %d feeders, phases of %d s\n",
                    options.servers, options.monitors, options.intervalMs, options.feeders,
                    options.phaseSeconds);
        std::printf("%-10s %10s %8s %8s %10s %10s %10s %8s %6s\n", "phase", "refresh/s", "gap s",
                    "failed", "imports/s", "median ms", "max ms", "failed", "lost");
        Chain chain(options, ports, url);
        chain.start();
        // Every monitor signed in and refreshing before the first phase.
        const Clock::time_point warm = Clock::now() + std::chrono::minutes(2);
        while (chain.monitorsRefreshed() < options.monitors && Clock::now() < warm) {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
        for (const QString& phase : options.phases) {
            chain.counts().reset();
            const Clock::time_point started = Clock::now();
            fault(phase, true, servers);
            if (phase == "promote") {
                primary = standby;
            }
            std::this_thread::sleep_until(started + std::chrono::seconds(options.phaseSeconds));
            fault(phase, false, servers);
            // As long again to recover: the gaps and failures it costs belong to the fault.
            std::this_thread::sleep_until(started + std::chrono::seconds(2 * options.phaseSeconds));
            printPhase(phase, chain, options, msBetween(started, Clock::now()) / 1000.0, database,
                       primary);
        }
        chain.stop();
    }
    if (!standby.isEmpty()) {
        cluster->dropStandby();
        cluster->resume();
    }
    if (ownCluster) {
        QProcess::execute("bash", {LORVEX_PG_TEST_CLUSTER_SCRIPT, "stop", clusterDir.path()});
    }
    return status;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    return run(parseOptions(QCoreApplication::arguments()));
}
