#pragma once

#include "platform/ProcessEnd.h"

#include <QString>

class FormHost;
struct Platform;

// Helpers several windows share: ending the program, writing the program log.
class FormHelpers {
public:
    FormHelpers(Platform& platform, FormHost& forms);

    // Unloads every window, newest first, and ends the process with exitCode (ExitCode). Does
    // not return in production. The call that starts the end decides the exit status.
    void UnloadAllAndEnd(int exitCode = ExitCode::Normal);
    // Adds one row "part;text;parameter" at the top of the program log (at most 100 rows).
    // Never fails: a missing or failing list loses the entry.
    void AddListRow(const QString& part, const QString& text, const QString& parameter);

private:
    Platform& m_platform;
    FormHost& m_forms;
    bool m_ending = false;
};
