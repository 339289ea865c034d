#pragma once

#include "platform/ProcessEnd.h"

class SettingsStore;

// Ends the process at once, after the settings store has been written out.
class QtProcessEnd : public ProcessEnd {
public:
    explicit QtProcessEnd(SettingsStore& settings)
        : m_settings(settings) {}

    [[noreturn]] void endProgram(int exitCode) override;

private:
    SettingsStore& m_settings;
};
