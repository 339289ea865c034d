#include "platform/QtProcessEnd.h"

#include "platform/SettingsStore.h"

#include <cstdio>
#include <cstdlib>

void QtProcessEnd::endProgram(int exitCode) {
    m_settings.sync();
    std::fflush(nullptr);
    // Nothing may run after the end: no pending events, no half-unloaded windows unwinding.
    std::_Exit(exitCode);
}
