#pragma once

// Ends the process. The production implementation flushes the settings store first and does
// not return; the test fake records the call and throws ProgramEnded to unwind the caller.
class ProcessEnd {
public:
    virtual ~ProcessEnd() = default;
    virtual void endProgram() = 0;
};

struct ProgramEnded {};
