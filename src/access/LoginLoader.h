#pragma once

#include <QString>

class FormHost;
class SecretText;
struct Platform;
struct SignInState;

// Fills the sign-in state from the stored settings or the command line, and mirrors it into
// the dialogs.
class LoginLoader {
public:
    LoginLoader(SignInState& state, Platform& platform, FormHost& forms);

    void LoadLoginSettings();
    void LoadConnectionData();

    // "cn_iptcp:" + server + "[" + port + "]:" + namespace.
    static QString connectString(const QString& server, const QString& port,
                                 const QString& nameSpace);

    // Moves field 4 (the password) of a program command line into password and returns the
    // line with that field empty, so that the running program keeps one copy of it.
    static QString takeCommandLinePassword(const QString& commandLine, SecretText& password);

    // Whether the last LoadConnectionData took the sign-in data from the command line.
    bool lastLoadUsedCommandLine() const { return m_lastLoadUsedCommandLine; }

private:
    bool commandLineSuppliesData() const;
    void takeCommandLine();

    SignInState& m_state;
    Platform& m_platform;
    FormHost& m_forms;
    bool m_lastLoadUsedCommandLine = false;
    // After the command line was refused, its values are offered once in the dialog; later
    // attempts show what the user entered and stored.
    bool m_refusedCommandLineOffered = false;
};
