#include "signin/SignIn.h"

#include "access/CacheApi.h"
#include "access/FormHost.h"
#include "access/GetField.h"
#include "access/ServerCommand.h"
#include "objectclient/CacheError.h"
#include "platform/Platform.h"

#include <exception>
#include <utility>

const QString SignIn::OperationConnect = QStringLiteral("Verbindungsaufbau");
const QString SignIn::OperationPersonalcode =
    QStringLiteral("Anmeldung mit nicht existierendem Personalcode");
const QString SignIn::OperationAbteilung = QStringLiteral("Abteilungsermittlung");
const QString SignIn::OperationPersBasis = QStringLiteral("PersBasis Nummern");
const QString SignIn::OperationSetzen = QStringLiteral("Firma Filiale Personal Setzen");

namespace {

QString textOf(CacheObject& object, const QString& property) {
    return cacheValueToText(object.property(property));
}

// A stored value converted to its ODBC form by the object's own conversion method.
QString convertedOf(CacheObject& object, const QString& property, const QString& method) {
    return cacheValueToText(object.call(method, {object.property(property)}));
}

} // namespace

SignIn::SignIn(CacheApi& api, QString programCommandLine)
    : m_api(api)
    , m_programCommandLine(std::move(programCommandLine)) {
}

bool SignIn::CheckLogin() {
    SignInState& state = m_api.state();
    state.gBenutzer.clear();
    if (state.gCommandLine.isEmpty()) {
        state.gCommandLine = m_programCommandLine;
    }
    m_api.loader().LoadConnectionData();
    const bool fromCommandLine = m_api.loader().lastLoadUsedCommandLine();

    bool signedIn = false;
    {
        // The user waits for this access; other accesses wait for it.
        Connection& connection = m_api.connection();
        const BusyCursor::Scope waiting(connection.busyCursor());
        const AccessGate::Scope access(connection.gate());
        signedIn = signInWithLoadedData();
    }
    if (m_boxAfterAccess) {
        const std::function<void()> show = std::exchange(m_boxAfterAccess, {});
        show();
    }
    if (!signedIn && fromCommandLine) {
        state.gCommandLineRefused = true;
    }
    return signedIn;
}

bool SignIn::signInWithLoadedData() {
    SignInState& state = m_api.state();
    Connection& connection = m_api.connection();
    // Every failure is reported with the step it happened in; reading a property of the
    // personnel record counts to the step that opened it.
    QString operation = OperationConnect;
    // The user asks: data the server refused before are tried again.
    connection.allowSignInAgain();
    try {
        try {
            connection.BeginCacheAccess(false, false);
        } catch (const CacheError& error) {
            if (error.number() != ClientErrors::SignInRefused) {
                throw;
            }
            // The new connection's own sign-in was refused and the connection dropped.
            reject();
            finish();
            return false;
        }

        operation = OperationPersonalcode;
        // The server checks the password and the activity flag itself and never hands out the
        // stored password; an unknown user gets the same answer as a wrong password.
        if (!connection.SignInOnServer()) {
            reject();
            finish();
            return false;
        }
        CacheObjectPtr person = open(QStringLiteral("LX.ParPersEdv"), state.gPersonalcode);
        readPersonnelRecord(*person);
        const QString abtNr = textOf(*person, QStringLiteral("AbtNr"));
        state.gPersonal.DW = textOf(*person, QStringLiteral("DW"));
        state.gBerGrp = textOf(*person, QStringLiteral("BERGRP"));

        operation = OperationAbteilung;
        CacheObjectPtr department = open(QStringLiteral("LX.ParPersAbt"), abtNr);
        state.gPersonal.AbtBez = convertedOf(*department, QStringLiteral("abtbez"),
                                             QStringLiteral("ABTBEZlogicaltoodbc"));
        state.gPersonal.AbtNr = textOf(*department, QStringLiteral("AbtNr"));
        state.gPersonal.HAbtNr = textOf(*department, QStringLiteral("HAbtNr"));
        connection.CloseCacheObject(department);

        operation = OperationPersBasis;
        CacheObjectPtr basis =
            open(QStringLiteral("LX.PersBasis"), textOf(*person, QStringLiteral("PNR")));
        state.gPersonal.Fax = textOf(*basis, QStringLiteral("fax"));
        state.gPersonal.EMail =
            convertedOf(*basis, QStringLiteral("EMAIL"), QStringLiteral("EMailLogicalToODBC"));
        connection.CloseCacheObject(basis);
        connection.CloseCacheObject(person);

        operation = OperationSetzen;
        const QString command =
            buildWorkContextCommand(state.gFirma, state.gFiliale,
                                    GetField(state.gBenutzer, QStringLiteral("|"), 1, QString()));
        if (!state.gFactory) {
            throw CacheError(ClientErrors::ServerUnreachable,
                             QStringLiteral("Keine Verbindung zum Server."));
        }
        CacheObjectPtr windows = state.gFactory->classAccess(QStringLiteral("LX.Windows"));
        windows->call(QStringLiteral("Xecute"), {command});
        connection.CloseCacheObject(windows);
    } catch (const CacheError& error) {
        reportFailure(error.number(), error.description(), operation);
        return false;
    } catch (const std::exception& error) {
        reportFailure(0, QString::fromLocal8Bit(error.what()), operation);
        return false;
    }
    finish();
    return true;
}

void SignIn::readPersonnelRecord(CacheObject& person) {
    SignInState& state = m_api.state();
    const QString name =
        convertedOf(person, QStringLiteral("PNAME"), QStringLiteral("PNAMELogicalToODBC"));
    state.gBenutzer = state.gPersonalcode + QLatin1Char('|') + name;
    state.gBenutzerName = name;
    state.gPersonal.PNR = textOf(person, QStringLiteral("PNR"));
}

void SignIn::reject() {
    m_boxAfterAccess = [this] {
        m_api.platform().messages.show(QStringLiteral("Passwort Falsch oder Benutzer nicht Aktiv."),
                                       QStringLiteral("Anmeldung an Caché."), MsgButtons::Ok,
                                       MsgIcon::Information);
        m_api.forms().selectAllPassword();
    };
}

void SignIn::reportFailure(int number, const QString& description, const QString& operation) {
    m_api.errors().endAccess();
    m_boxAfterAccess = [this, number, description, operation] {
        m_api.errors().showBox(number, description, operation);
    };
}

void SignIn::finish() {
    m_api.connection().EndCacheAccess(false);
    m_api.forms().hideSignInDialogs();
}

CacheObjectPtr SignIn::open(const QString& className, const QString& key) {
    const SignInState& state = m_api.state();
    if (!state.gFactory) {
        throw CacheError(ClientErrors::ServerUnreachable,
                         QStringLiteral("Keine Verbindung zum Server."));
    }
    CacheObjectPtr object =
        state.gFactory->openId(className, state.gFirma + QStringLiteral("||") + key);
    if (!object) {
        // A factory may answer an unknown id with no object instead of an error.
        throw CacheError(ClientErrors::ObjectNotFound,
                         QStringLiteral("Objekt %1 nicht gefunden.").arg(className));
    }
    return object;
}
