#include "ServerProgram.h"

#include "AdminCommands.h"
#include "BackgroundLogWriter.h"
#include "DemoData.h"
#include "PlainTcpServer.h"
#include "ServerCommandLine.h"
#include "ServerError.h"
#include "ServerListener.h"
#include "ServerLog.h"
#include "StopSignals.h"
#include "Store.h"
#include "TelemetrySimulator.h"
#include "TlsFiles.h"
#include "ValueText.h"

#include "lorvex_version.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QSslSocket>
#include <QTextStream>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <memory>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#if defined(Q_OS_LINUX)
#include <sys/prctl.h>
#include <sys/resource.h>
#endif

namespace {

constexpr int kSimulationIntervalMs = 3000;
// A stop held up longer (a session in a call of a stuck database, a thread that does not end)
// ends the process anyway.
constexpr unsigned kStopLimitSeconds = 10;

#if defined(__GLIBC__)
// A full reply takes a few hundred KiB in three buffers that are freed right after it is sent.
// By default glibc gives such memory back to the system at once and faults it in again for the
// next reply, which costs more than building the reply. Up to 1 MiB a block comes from the heap,
// and up to 16 MiB of freed heap is kept for reuse.
void keepReplyBuffersForReuse() {
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 16 * 1024 * 1024);
}
#else
void keepReplyBuffersForReuse() {
}
#endif

#if defined(Q_OS_LINUX)
// Passwords pass through the server's memory: no core file may keep them, and no other process
// of the same user may read them through ptrace or /proc/PID/mem. Not dumpable also makes the
// kernel refuse a core to a handler such as systemd-coredump; the core limit of 0 covers a
// process that was made dumpable again.
void refuseCoreDumps() {
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    const rlimit none{0, 0};
    setrlimit(RLIMIT_CORE, &none);
}
#else
void refuseCoreDumps() {
}
#endif

#if defined(Q_OS_LINUX)
// Each place is a descriptor, as are each thread's database files and loop, and the listeners
// keep a reserve that connections never take. A soft limit below
// that is raised as far as the hard limit allows; what is still missing is said, since
// connections beyond it are then refused for want of descriptors rather than of places.
void raiseDescriptorLimit(const ServerLimits& limits, const ServerLog& log) {
    const rlim_t needed = rlim_t(limits.maxSessions) + 16 * rlim_t(limits.servingThreads) +
                          PlainTcpServer::kReservedDescriptors + 32;
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return;
    }
    if (limit.rlim_cur < needed && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = std::min(needed, limit.rlim_max);
        setrlimit(RLIMIT_NOFILE, &limit);
        getrlimit(RLIMIT_NOFILE, &limit);
    }
    if (limit.rlim_cur < needed) {
        log.write(QStringLiteral("the open-file limit of %1 is below the %2 the places need: "
                                 "connections beyond it are refused")
                      .arg(limit.rlim_cur)
                      .arg(needed));
    }
}
#else
void raiseDescriptorLimit(const ServerLimits&, const ServerLog&) {
}
#endif

int serve(const ServerCommandLine& commandLine, Store& store, const ServerLog& log) {
    store.setHealthLog([&log](const QString& line) { log.write(line); });
    if (store.isReadOnly()) {
        log.write(QStringLiteral("serving %1 read-only: this process may not write it, so every "
                                 "write fails with a store error")
                      .arg(store.display()));
    }
    if (store.isSnapshot()) {
        log.write(QStringLiteral("reading %1 as it is now: it is written ahead of a log that this "
                                 "process cannot share, so changes to it are seen after a restart")
                      .arg(store.display()));
    }
    if (commandLine.demo && !store.hasUsers()) {
        DemoData::seed(store);
        log.write(QStringLiteral("demo data written to %1").arg(store.display()));
    }
    SignInThrottle::Settings throttle;
    throttle.stepMs = commandLine.signInDelayStepMs;
    ServerLimits limits;
    limits.maxSessionsPerAddress = commandLine.maxSessionsPerAddress;
    limits.frameBudgetBytes = qint64(commandLine.budgetMiB) * 1024 * 1024;
    limits.replyBudgetBytes = limits.frameBudgetBytes;
    limits.timeouts.stallMs = commandLine.stallMs;
    limits.timeouts.idleMs = commandLine.idleMs;
    limits.timeouts.signInWindowMs = commandLine.signInWindowMs;
    limits.tlsHandshakeTimeoutMs = commandLine.handshakeTimeoutMs;
    limits.ipv6PrefixBits = commandLine.ipv6PrefixBits;
    limits.proxyFrom = commandLine.proxyFrom;
    limits.servingThreads = commandLine.servingThreads > 0
                                ? commandLine.servingThreads
                                : std::max(1, QThread::idealThreadCount());
    limits.passwordCheckThreads = commandLine.checkThreads > 0
                                      ? commandLine.checkThreads
                                      : std::max(1, QThread::idealThreadCount());
    raiseDescriptorLimit(limits, log);
    ServerListener listener(store, log, limits, throttle);
    if (!commandLine.tlsCertificate.isEmpty()) {
        if (!QSslSocket::supportsSsl()) {
            log.write(QStringLiteral("TLS is not available: no TLS library found"));
            return 1;
        }
        QString problem;
        const std::optional<QSslConfiguration> tls =
            tlsConfigurationFromFiles(commandLine.tlsCertificate, commandLine.tlsKey, problem);
        if (!tls) {
            log.write(problem);
            return 1;
        }
        listener.setTls(*tls);
    }
    listener.setKeepReplies(commandLine.keepReplies);
    for (const ListenAddress& address : commandLine.listen) {
        if (!listener.listen(address)) {
            log.write(listener.errorText());
            return 1;
        }
    }
    std::unique_ptr<TelemetrySimulator> simulator;
    QTimer simulation;
    if (commandLine.simulate && store.isReadOnly()) {
        log.write(QStringLiteral("not simulating: the database is served read-only"));
    } else if (commandLine.simulate) {
        simulator =
            std::make_unique<TelemetrySimulator>(store, QRandomGenerator::global()->generate());
        QObject::connect(&simulation, &QTimer::timeout, [&simulator, &log] {
            try {
                simulator->step();
            } catch (const ServerError& error) {
                log.write(QStringLiteral("simulation: error %1: %2")
                              .arg(error.number())
                              .arg(error.text()));
            }
        });
        simulation.start(kSimulationIntervalMs);
        log.write(
            QStringLiteral("simulating telemetry every %1 s").arg(kSimulationIntervalMs / 1000));
    }
    // Sessions and threads end in order on a stop; serve returns 0 only then.
    StopSignals stopSignals(kStopLimitSeconds);
    QObject::connect(&stopSignals, &StopSignals::received, [&log, &listener](int signalNumber) {
        log.write(QStringLiteral("stopping: %1 received; ending %2 connections")
                      .arg(StopSignals::nameOf(signalNumber))
                      .arg(listener.placesUsed()));
        QCoreApplication::quit();
    });
    return QCoreApplication::exec();
}

} // namespace

void ServerProgram::prepareProcess() {
    // A log or an output whose reader is gone is an error to write to, not the end of the
    // process.
    std::signal(SIGPIPE, SIG_IGN);
    refuseCoreDumps();
    keepReplyBuffersForReuse();
}

int ServerProgram::run(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    const ServerCommandLine commandLine = ServerCommandLine::parse(arguments);
    switch (commandLine.mode) {
    case ServerCommandLine::Mode::Help:
        out << commandLine.helpText;
        return 0;
    case ServerCommandLine::Mode::Version:
        out << "lorvex-server " << lorvex::kVersionText << "\n";
        return 0;
    case ServerCommandLine::Mode::Error:
        err << "lorvex-server: " << escapedControls(commandLine.errorText) << "\n"
            << "Try lorvex-server --help\n";
        return 2;
    case ServerCommandLine::Mode::Serve:
    case ServerCommandLine::Mode::Admin:
        break;
    }

    if (commandLine.mode == ServerCommandLine::Mode::Admin) {
        const QString refusal =
            AdminCommands::refusalBeforeOpening(commandLine.command, commandLine.dbPath);
        if (!refusal.isEmpty()) {
            err << commandLine.command << ": " << refusal << "\n";
            return 2;
        }
    }
    // While serving, a log line never waits for the log's reader; an admin command's lines go out
    // at once, in order with the rest of its output.
    std::unique_ptr<BackgroundLogWriter> background;
    ServerLog::Sink sink = ServerLog::toStderr();
    if (commandLine.mode == ServerCommandLine::Mode::Serve) {
        background = std::make_unique<BackgroundLogWriter>();
        sink = [writer = background.get()](const QString& line) { writer->add(line); };
    }
    ServerLog log(std::move(sink));
    log.setLimits({double(commandLine.logLinesPerSecond)});
    try {
        // A feed is served like the server's sessions: a block that cannot be written soon is
        // answered with an error at once, and the feeder sends it again.
        const bool serving = commandLine.mode == ServerCommandLine::Mode::Serve ||
                             commandLine.command == QLatin1String("feed");
        Store store(commandLine.dbPath,
                    serving ? Store::kServingBusyTimeoutMs : Store::kAdminBusyTimeoutMs);
        if (store.convertedPasswords() > 0) {
            log.write(QStringLiteral("%1 clear-text passwords of %2 replaced by their hashes")
                          .arg(store.convertedPasswords())
                          .arg(store.display()));
        }
        if (commandLine.mode == ServerCommandLine::Mode::Admin) {
            QTextStream input(stdin);
            return AdminCommands(store, commandLine.dbPath, out, err, input)
                .run(commandLine.command, commandLine.options, commandLine.files);
        }
        const int status = serve(commandLine, store, log);
        if (status == 0) {
            log.write(QStringLiteral("stopped"));
        }
        return status;
    } catch (const ServerError& error) {
        log.write(QStringLiteral("error %1: %2").arg(error.number()).arg(error.text()));
        return 1;
    }
}
