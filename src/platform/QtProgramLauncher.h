#pragma once

#include "platform/ProgramLauncher.h"

// Starts programs detached from this process (never waits for them) and tests files on disk.
class QtProgramLauncher : public ProgramLauncher {
public:
    QtProgramLauncher() = default;

    // The whole text is the program's path; it is not split into arguments, so a path with
    // blanks starts as it is.
    bool start(const QString& program) override;
    bool fileExists(const QString& path) const override;
};
