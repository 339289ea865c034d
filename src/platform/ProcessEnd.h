#pragma once

// The process's exit status: 0 for an end the user chose, non-zero when the program ends
// because it failed (server unreachable, user not admitted).
namespace ExitCode {
constexpr int Normal = 0;
constexpr int Failure = 1;
} // namespace ExitCode

// Ends the process. The production implementation flushes the settings store first and does
// not return; the test fake records the call and throws ProgramEnded to unwind the caller.
class ProcessEnd {
public:
    virtual ~ProcessEnd() = default;
    virtual void endProgram(int exitCode) = 0;
};

struct ProgramEnded {
    int exitCode = ExitCode::Normal;
};
