#pragma once

#include <QStringList>

// What the executable was asked to do, read from its arguments (without the program's name).
struct ProgramOptions {
    enum class Mode { Run, Version, Help, Print };

    Mode mode = Mode::Run;
    // Run: the sign-in command line, the arguments joined by single blanks.
    QString commandLine;
    // Print: the arguments after "--print".
    QStringList printArguments;

    static ProgramOptions parse(const QStringList& arguments);
    static QString usage();
    static QString versionLine();
};
