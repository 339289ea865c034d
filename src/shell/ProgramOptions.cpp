#include "shell/ProgramOptions.h"

#include "lorvex_version.h"

ProgramOptions ProgramOptions::parse(const QStringList& arguments) {
    ProgramOptions options;
    const QString first = arguments.value(0);
    if (first == QLatin1String("--version")) {
        options.mode = Mode::Version;
    } else if (first == QLatin1String("--help") || first == QLatin1String("-h")) {
        options.mode = Mode::Help;
    } else if (first == QLatin1String("--print")) {
        options.mode = Mode::Print;
        options.printArguments = arguments.mid(1);
    } else {
        options.commandLine = arguments.join(QLatin1Char(' '));
    }
    return options;
}

QString ProgramOptions::usage() {
    return QStringLiteral(
        "Aufruf:\n"
        "  lorvex-monitor [FIRMA FILIALE USER PASSWORT [SERVER [PORT [NAMESPACE]]]]\n"
        "  lorvex-monitor --print kassa|zeit FIRMA FILIALE USER PASSWORT [SERVER [PORT "
        "[NAMESPACE]]]\n"
        "                 [--format text|csv|json]\n"
        "  lorvex-monitor --version | --help\n"
        "\n"
        "Ohne Anmeldedaten (oder wenn das erste Feld keine Zahl ist) fragt der\n"
        "Anmeldedialog, vorbelegt mit den gespeicherten Einstellungen (\"Cache Login\").\n"
        "--print meldet sich ohne Fenster an, liest den Monitor einmal und gibt seine\n"
        "Zeilen auf der Standardausgabe aus (--format csv: wie der Export der Fenster,\n"
        "--format json: {\"columns\": [...], \"rows\": [[...], ...]}). PASSWORT \"-\" liest\n"
        "das Passwort aus der ersten Zeile der Standardeingabe.\n");
}

QString ProgramOptions::versionLine() {
    return QStringLiteral("lorvex-monitor ") + QString::fromLatin1(lorvex::kVersionText);
}
