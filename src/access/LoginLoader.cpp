#include "access/LoginLoader.h"

#include "access/FormHost.h"
#include "access/GetField.h"
#include "access/LoginSettings.h"
#include "access/SecretText.h"
#include "access/SignInState.h"
#include "platform/Platform.h"

#include <cmath>

namespace {

const QString Blank = QStringLiteral(" ");

bool isNumeric(const QString& text) {
    // Plain digit strings with an optional sign; decimal points and exponents as the C locale
    // reads them. Surrounding blanks cannot occur: the field is split at blanks.
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok && std::isfinite(value);
}

} // namespace

LoginLoader::LoginLoader(SignInState& state, Platform& platform, FormHost& forms)
    : m_state(state)
    , m_platform(platform)
    , m_forms(forms) {
}

void LoginLoader::LoadLoginSettings() {
    namespace S = LoginSettings;
    const auto read = [this](const QString& key, const QString& defaultValue) {
        return m_platform.settings.get(S::App, S::Section, key, defaultValue);
    };
    m_state.gFirma = read(S::KeyFirma, S::DefaultStoredFirma);
    m_state.gFiliale = read(S::KeyFiliale, S::DefaultStoredFiliale);
    m_state.gServer = read(S::KeyServer, S::DefaultServer);
    m_state.gPort = read(S::KeyPort, S::DefaultStoredPort);
    m_state.gNamespace = read(S::KeyNamespace, S::DefaultNamespace);
    m_state.gPersonalcode = read(S::KeyName, QString());

    // A box the user never wrote in holds no password: saving the server settings after a
    // start from the command line must not replace the command line's password by nothing.
    if (m_forms.passwordEntered()) {
        QString typed = m_forms.passwordBox();
        m_state.gPasswort = typed;
        SecretText::wipe(typed);
    }

    m_forms.setConnectionBoxes(
        {m_state.gFirma, m_state.gFiliale, m_state.gServer, m_state.gPort, m_state.gNamespace});
    m_forms.setUserBox(m_state.gPersonalcode);
}

void LoginLoader::LoadConnectionData() {
    const bool commandLineGiven = commandLineSuppliesData();
    m_lastLoadUsedCommandLine = commandLineGiven && !m_state.gCommandLineRefused;

    if (m_lastLoadUsedCommandLine) {
        takeCommandLine();
    } else {
        if (commandLineGiven && !m_refusedCommandLineOffered) {
            // The command line's data were refused: let the user correct them in the dialog
            // instead of trying the same data again.
            takeCommandLine();
            m_refusedCommandLineOffered = true;
        } else {
            LoadLoginSettings();
        }
        if (!m_forms.signInDialogVisible()) {
            m_forms.showSignInDialogModal();
        }
        LoadLoginSettings();
    }

    // The namespace of a sign-in's connection is always LORVEX, whatever gNamespace says.
    m_state.gConnectString =
        connectString(m_state.gServer, m_state.gPort, LoginSettings::DefaultNamespace);
}

QString LoginLoader::connectString(const QString& server, const QString& port,
                                   const QString& nameSpace) {
    return QStringLiteral("cn_iptcp:") + server + QLatin1Char('[') + port + QStringLiteral("]:") +
           nameSpace;
}

QString LoginLoader::takeCommandLinePassword(const QString& commandLine, SecretText& password) {
    QStringList fields = commandLine.split(Blank);
    if (fields.size() < 4 || fields[3].isEmpty()) {
        return commandLine;
    }
    password = fields[3];
    SecretText::wipe(fields[3]);
    return fields.join(Blank);
}

bool LoginLoader::commandLineSuppliesData() const {
    return !m_state.gCommandLine.isEmpty() &&
           isNumeric(GetField(m_state.gCommandLine, Blank, 1, QString()));
}

void LoginLoader::takeCommandLine() {
    namespace S = LoginSettings;
    const QString& line = m_state.gCommandLine;
    m_state.gFirma = GetField(line, Blank, 1, QString());
    m_state.gFiliale = GetField(line, Blank, 2, QString());
    m_state.gPersonalcode = GetField(line, Blank, 3, QString());
    // A program started with its password on the command line holds it in gPasswort only
    // (takeCommandLinePassword); the field is empty then and the held password stays.
    QString password = GetField(line, Blank, 4, QString());
    if (!password.isEmpty()) {
        m_state.gPasswort = password;
        SecretText::wipe(password);
    }
    m_state.gServer = GetField(line, Blank, 5, S::DefaultServer);
    m_state.gPort = GetField(line, Blank, 6, S::DefaultCommandLinePort);
    m_state.gNamespace = GetField(line, Blank, 7, S::DefaultNamespace);

    m_forms.setConnectionBoxes(
        {m_state.gFirma, m_state.gFiliale, m_state.gServer, m_state.gPort, m_state.gNamespace});
    m_forms.setUserBox(m_state.gPersonalcode);
}
