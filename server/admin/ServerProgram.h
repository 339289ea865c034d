#pragma once

#include <QStringList>

class QTextStream;

// lorvex-server from its command line to its exit code: help, version, one admin command, or
// serving until the process is ended.
class ServerProgram {
public:
    // Before the application object exists: what the process itself allows and keeps.
    static void prepareProcess();
    // 0 when done, 1 when the database or serving failed, 2 for a command line that was refused.
    static int run(const QStringList& arguments, QTextStream& out, QTextStream& err);
};
