#pragma once

class FormHost;
struct Platform;
struct SignInState;

// Fills the sign-in state from the stored settings or the command line, and mirrors it into
// the dialogs.
class LoginLoader {
public:
    LoginLoader(SignInState& state, Platform& platform, FormHost& forms);

    void LoadLoginSettings();
    void LoadConnectionData();

private:
    SignInState& m_state;
    Platform& m_platform;
    FormHost& m_forms;
};
