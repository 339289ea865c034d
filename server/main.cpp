#include "EpollEventDispatcher.h"
#include "ServerProgram.h"

#include "lorvex_version.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char* argv[]) {
    ServerProgram::prepareProcess();
    // Before the application exists, or it makes Qt's own loop for this thread.
    QCoreApplication::setEventDispatcher(new EpollEventDispatcher);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lorvex-server"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(lorvex::kVersionText));

    QTextStream out(stdout);
    QTextStream err(stderr);
    return ServerProgram::run(QCoreApplication::arguments(), out, err);
}
