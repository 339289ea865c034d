#include "ServerProgram.h"

#include "lorvex_version.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char* argv[]) {
    // Qt's own event loop instead of GLib's: GLib wakes itself through an eventfd whenever a
    // socket notifier is switched, two extra system calls for every request.
    qputenv("QT_NO_GLIB", "1");
    ServerProgram::prepareProcess();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lorvex-server"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(lorvex::kVersionText));

    QTextStream out(stdout);
    QTextStream err(stderr);
    return ServerProgram::run(QCoreApplication::arguments(), out, err);
}
