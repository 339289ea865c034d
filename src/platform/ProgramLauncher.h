#pragma once

#include <QString>

// Starts another program without waiting for it, and tests whether a file exists.
class ProgramLauncher {
public:
    virtual ~ProgramLauncher() = default;
    // Returns false when the program could not be started.
    virtual bool start(const QString& program) = 0;
    virtual bool fileExists(const QString& path) const = 0;
};
