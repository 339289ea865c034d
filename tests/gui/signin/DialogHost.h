#pragma once

#include "FakeFormHost.h"
#include "access/FormHost.h"
#include "signin/SignInWindowHost.h"

#include <memory>

class CacheApi;
class FMPass;
class FMServer;
class SignIn;

// The two real sign-in dialogs behind both window interfaces, as the window registry provides
// them: created on first use (with Form_Load), the main window reduced to a flag and a caption.
class DialogHost : public FormHost, public SignInWindowHost {
public:
    DialogHost();
    ~DialogHost() override;
    // Must be called before the first dialog is touched.
    void attach(CacheApi& api, SignIn& signIn);

    void setConnectionBoxes(const ConnectionBoxes& boxes) override;
    ConnectionBoxes connectionBoxes() override;
    void showServerDialogModal() override;
    void hideServerDialog() override;
    Timer& idleTimer() override;
    void setUserBox(const QString& userCode) override;
    QString userBox() override;
    QString passwordBox() override;
    bool passwordEntered() override;
    void selectAllPassword() override;
    bool signInDialogVisible() override;
    void showSignInDialogModal() override;
    void hideSignInDialogs() override;
    RowList& programLog() override { return m_log; }
    void unloadAllWindows() override { ++unloadCalls; }

    bool mainWindowVisible() override { return mainVisible; }
    void setMainWindowCaption(const QString& caption) override { mainCaption = caption; }
    void enforceRightsGroup() override { ++rightsChecks; }
    QDialog& serverDialogWindow() override;
    void saveSignInEntries() override;
    FMPass& signInDialog();
    FMServer& serverDialog();

    bool mainVisible = false;
    QString mainCaption;
    int unloadCalls = 0;
    int rightsChecks = 0;

private:
    CacheApi* m_api = nullptr;
    SignIn* m_signIn = nullptr;
    std::unique_ptr<FMServer> m_server;
    std::unique_ptr<FMPass> m_pass;
    FakeFormHost::LogList m_log;
};
