#pragma once

#include "access/CacheApi.h"
#include "access/SignInState.h"
#include "shell/WindowRegistry.h"
#include "signin/SignIn.h"

class FMStart;

// One run of the program: the sign-in state, the windows and the server access, wired
// together. The executable makes one over the real desktop; tests over fakes.
class MonitorProgram {
public:
    MonitorProgram(Platform& platform, CacheFactoryCreator createFactory,
                   const QString& commandLine);
    ~MonitorProgram();
    MonitorProgram(const MonitorProgram&) = delete;
    MonitorProgram& operator=(const MonitorProgram&) = delete;

    // Loads the main window (which signs the user in) and shows it. The program may end
    // inside: sign-in cancelled, rights group too low, server unreachable.
    FMStart& start();

    SignInState& state() { return m_state; }
    WindowRegistry& windows() { return m_windows; }
    CacheApi& api() { return m_api; }

private:
    SignInState m_state;
    QString m_commandLine; // without its password, which is in m_state.gPasswort
    WindowRegistry m_windows;
    CacheApi m_api;
    SignIn m_signIn;
};
