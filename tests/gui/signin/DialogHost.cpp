#include "DialogHost.h"

#include "signin/FMPass.h"
#include "signin/FMServer.h"
#include "signin/SelectAllText.h"

#include <QLineEdit>

DialogHost::DialogHost() = default;

DialogHost::~DialogHost() {
    // The sign-in dialog may own the server dialog for a moment; take it down first.
    m_pass.reset();
    m_server.reset();
}

void DialogHost::attach(CacheApi& api, SignIn& signIn) {
    m_api = &api;
    m_signIn = &signIn;
}

void DialogHost::setConnectionBoxes(const ConnectionBoxes& boxes) {
    FMServer& server = serverDialog();
    server.BFIRMA->setText(boxes.firma);
    server.BFIL->setText(boxes.filiale);
    server.BSERVERIP->setText(boxes.server);
    server.BPORT->setText(boxes.port);
    server.BNAMESPACE->setText(boxes.nameSpace);
}

ConnectionBoxes DialogHost::connectionBoxes() {
    FMServer& server = serverDialog();
    return {server.BFIRMA->text(), server.BFIL->text(), server.BSERVERIP->text(),
            server.BPORT->text(), server.BNAMESPACE->text()};
}

void DialogHost::showServerDialogModal() {
    serverDialog().exec();
}

void DialogHost::hideServerDialog() {
    serverDialog().hide();
}

Timer& DialogHost::idleTimer() {
    return *serverDialog().Lock;
}

void DialogHost::setUserBox(const QString& userCode) {
    signInDialog().BUSER->setText(userCode);
}

QString DialogHost::userBox() {
    return signInDialog().BUSER->text();
}

QString DialogHost::passwordBox() {
    return signInDialog().BPASSWORT->text();
}

bool DialogHost::passwordEntered() {
    return signInDialog().passwordEntered();
}

void DialogHost::selectAllPassword() {
    SelectAllText(*signInDialog().BPASSWORT, true);
}

bool DialogHost::signInDialogVisible() {
    return signInDialog().isVisible();
}

void DialogHost::showSignInDialogModal() {
    signInDialog().exec();
}

void DialogHost::hideSignInDialogs() {
    signInDialog().setVisible(false);
    serverDialog().setVisible(false);
    serverDialog().hide();
    signInDialog().hide();
}

FMPass& DialogHost::signInDialog() {
    if (!m_pass) {
        m_pass = std::make_unique<FMPass>(*m_api, *m_signIn, *this);
        m_pass->Form_Load();
    }
    return *m_pass;
}

QDialog& DialogHost::serverDialogWindow() {
    return serverDialog();
}

void DialogHost::saveSignInEntries() {
    signInDialog().Sichern();
}

FMServer& DialogHost::serverDialog() {
    if (!m_server) {
        m_server = std::make_unique<FMServer>(*m_api, *this);
        m_server->Form_Load();
    }
    return *m_server;
}
