#include "access/SecretText.h"
#include "access/TlsSettings.h"
#include "objectclient/TcpCacheFactory.h"
#include "platform/FreedesktopNotifications.h"
#include "platform/QtPlatform.h"
#include "platform/QtTrayNotifications.h"
#include "shell/MonitorProgram.h"
#include "shell/PrintMode.h"
#include "shell/ProgramOptions.h"
#include "shell/QtTranslations.h"

#include "lorvex_version.h"

#include <QApplication>
#include <QFont>

#include <sys/prctl.h>

#include <cstdio>
#include <cstring>

namespace {

// The password of a command-line start lives on in the sign-in state only: the argument that
// held it is overwritten in the process's own argument memory (what ps and /proc show).
void wipePasswordArgument(int argc, char* argv[], const SecretText& password) {
    if (password.isEmpty()) {
        return;
    }
    for (int i = 1; i < argc; ++i) {
        if (password == QString::fromLocal8Bit(argv[i])) {
            SecretText::wipe(argv[i], std::strlen(argv[i]));
        }
    }
}

} // namespace

int main(int argc, char* argv[]) {
    // No core dump of the monitor's memory: it holds the password.
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);

    QStringList raw;
    for (int i = 1; i < argc; ++i) {
        raw.append(QString::fromLocal8Bit(argv[i]));
    }
    ProgramOptions early = ProgramOptions::parse(raw);
    switch (early.mode) {
    case ProgramOptions::Mode::Version:
        std::printf("%s\n", qPrintable(ProgramOptions::versionLine()));
        return 0;
    case ProgramOptions::Mode::Help:
        std::printf("%s", qPrintable(ProgramOptions::usage()));
        return 0;
    case ProgramOptions::Mode::Print:
        return runPrintMode(early.printArguments);
    case ProgramOptions::Mode::Run:
        break;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("LORVEX Monitor"));
    // Lets the desktop match the windows to the installed desktop entry and its icon.
    QApplication::setDesktopFileName(QString::fromLatin1(lorvex::kDesktopId));
    // The program ends only through its main window (or the sign-in giving up), never because
    // a message box or dialog was the last window on screen.
    QApplication::setQuitOnLastWindowClosed(false);
    // The program speaks German to everyone, Qt's own texts included.
    installGermanQtTranslations(app);
    // The windows are laid out for a classic 8-point dialog font.
    QFont dialogFont = QApplication::font();
    dialogFont.setPointSize(8);
    QApplication::setFont(dialogFont);
    // Qt has taken its own options out of the arguments by now.
    ProgramOptions options = ProgramOptions::parse(QApplication::arguments().mid(1));

    QtPlatform desktop;
    QtTrayNotifications tray;
    // The desktop's notification service where there is one, the tray's balloons otherwise.
    FreedesktopNotifications notifications(tray);
    MonitorProgram program(desktop.platform(),
                           tcpCacheFactoryCreator({}, loadTcpSecurity(desktop.platform().settings)),
                           options.commandLine);
    SecretText::wipe(options.commandLine);
    SecretText::wipe(early.commandLine);
    for (QString& argument : raw) {
        SecretText::wipe(argument);
    }
    wipePasswordArgument(argc, argv, program.state().gPasswort);
    program.windows().setNotifications(notifications);
    program.start();
    return QApplication::exec();
}
