#include "AdminCommands.h"
#include "DemoData.h"
#include "ServerCommandLine.h"
#include "ServerError.h"
#include "ServerListener.h"
#include "ServerLog.h"
#include "Store.h"
#include "TelemetrySimulator.h"

#include "lorvex_version.h"

#include <QCoreApplication>
#include <QTextStream>
#include <QTimer>

#include <cstdio>
#include <memory>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

constexpr int kSimulationIntervalMs = 3000;

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

int serve(const ServerCommandLine& commandLine, Store& store, const ServerLog& log) {
    if (commandLine.demo && !store.hasUsers()) {
        DemoData::seed(store);
        log.write(QStringLiteral("demo data written to %1").arg(commandLine.dbPath));
    }
    ServerListener listener(store, log);
    listener.setKeepReplies(commandLine.keepReplies);
    for (const ListenAddress& address : commandLine.listen) {
        if (!listener.listen(address)) {
            log.write(listener.errorText());
            return 1;
        }
    }
    std::unique_ptr<TelemetrySimulator> simulator;
    QTimer simulation;
    if (commandLine.simulate) {
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
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char* argv[]) {
    // Qt's own event loop instead of GLib's: GLib wakes itself through an eventfd whenever a
    // socket notifier is switched, two extra system calls for every request.
    qputenv("QT_NO_GLIB", "1");
    keepReplyBuffersForReuse();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lorvex-server"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(lorvex::kVersionText));

    QTextStream out(stdout);
    QTextStream err(stderr);
    const ServerCommandLine commandLine = ServerCommandLine::parse(QCoreApplication::arguments());
    switch (commandLine.mode) {
    case ServerCommandLine::Mode::Help:
        out << commandLine.helpText;
        return 0;
    case ServerCommandLine::Mode::Version:
        out << "lorvex-server " << lorvex::kVersionText << "\n";
        return 0;
    case ServerCommandLine::Mode::Error:
        err << "lorvex-server: " << commandLine.errorText << "\n"
            << "Try lorvex-server --help\n";
        return 2;
    case ServerCommandLine::Mode::Serve:
    case ServerCommandLine::Mode::Admin:
        break;
    }

    const ServerLog log;
    try {
        Store store(commandLine.dbPath);
        if (commandLine.mode == ServerCommandLine::Mode::Admin) {
            QTextStream input(stdin);
            return AdminCommands(store, out, err, input)
                .run(commandLine.command, commandLine.options, commandLine.files);
        }
        return serve(commandLine, store, log);
    } catch (const ServerError& error) {
        log.write(QStringLiteral("error %1: %2").arg(error.number()).arg(error.text()));
        return 1;
    }
}
