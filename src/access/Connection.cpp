#include "access/Connection.h"

#include "access/FormHelpers.h"
#include "access/FormHost.h"
#include "access/LoginLoader.h"
#include "access/SecretText.h"
#include "access/ServerCommand.h"
#include "access/SignInState.h"
#include "objectclient/CacheError.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int TriesPerSeries = 3;
constexpr int PauseBetweenTries = 1000; // hundredths of a second
constexpr double SecondsPerDay = 86400.0;
// Waits are cut into slices so that a clock that jumps (midnight, a changed system time) is
// noticed soon; each slice sleeps in the event loop.
constexpr int WaitSliceMs = 250;

const QString Title = QStringLiteral("Anmeldung an Caché");
const QString CrLf = QStringLiteral("\r\n");

// Marks a series of connection tries as running, however it is left.
class ConnectingFlag {
public:
    explicit ConnectingFlag(bool& flag)
        : m_flag(flag) {
        m_flag = true;
    }
    ~ConnectingFlag() { m_flag = false; }
    ConnectingFlag(const ConnectingFlag&) = delete;
    ConnectingFlag& operator=(const ConnectingFlag&) = delete;

private:
    bool& m_flag;
};

} // namespace

Connection::Connection(SignInState& state, Platform& platform, FormHost& forms,
                       FormHelpers& helpers, CacheFactoryCreator createFactory)
    : m_state(state)
    , m_platform(platform)
    , m_forms(forms)
    , m_helpers(helpers)
    , m_createFactory(std::move(createFactory))
    , m_gate(platform.events)
    , m_busyCursor(platform.cursor) {
}

void Connection::BeginCacheAccess(bool showHourglass, bool unlimitedTries) {
    if (showHourglass) {
        m_platform.cursor.set(MouseCursor::Hourglass);
    }
    ConnectCache(unlimitedTries);
    m_forms.idleTimer().setEnabled(false);
}

void Connection::EndCacheAccess(bool restoreCursor) {
    if (restoreCursor) {
        m_platform.cursor.set(MouseCursor::Arrow);
    }
    m_forms.idleTimer().setEnabled(true);
}

void Connection::ConnectCache(bool unlimitedTries) {
    if (factoryConnected()) {
        return;
    }
    if (m_connecting) {
        // A timer fired during the pauses or the server dialog of a connection attempt further
        // up: a second series would stack its boxes and a second modal server dialog onto the
        // first and could end the program while the user is still correcting the data.
        throw CacheError(ClientErrors::ServerUnreachable,
                         QStringLiteral("Der Verbindungsaufbau zum Server läuft bereits."));
    }
    if (m_refusedSignIn.has_value() && *m_refusedSignIn == signInDataKey()) {
        // The same data were refused already: asking again would only count one more failed
        // sign-in against the user on every refresh. A sign-in by the user asks again.
        throw signInRefused();
    }
    const ConnectingFlag connecting(m_connecting);
    // Checked before the first try, so that bad data never reach the server at all.
    QString contextCommand =
        buildWorkContextCommand(m_state.gFirma, m_state.gFiliale, m_state.gPersonalcode);

    int failures = 0;
    bool dialogOffered = false;
    for (;;) {
        if (tryConnect()) {
            // Every new connection signs in again with the data held in memory, so that an
            // idle drop or a server restart goes unnoticed. A connection whose sign-in was
            // refused is dropped: unsigned, it would answer every call with "sign in first".
            bool accepted = false;
            try {
                accepted = signInWithState();
            } catch (...) {
                // A connection that stayed up unsigned would answer every later call with
                // "sign in first" and never be made anew; drop it so the next access retries.
                dropConnection();
                throw;
            }
            if (!accepted) {
                dropConnection();
                m_refusedSignIn = signInDataKey();
                throw signInRefused();
            }
            setWorkContext(contextCommand);
            return;
        }
        if (m_failFast) {
            const QString why = m_state.gFactory ? m_state.gFactory->connectFailure() : QString();
            throw CacheError(ClientErrors::ServerUnreachable,
                             QStringLiteral("Der Server ist nicht erreichbar (%1).")
                                     .arg(m_state.gConnectString) +
                                 (why.isEmpty() ? QString() : QLatin1Char(' ') + why));
        }
        if (unlimitedTries) {
            waitBeforeNextTry();
            continue;
        }
        ++failures;
        if (failures < TriesPerSeries) {
            waitBeforeNextTry();
            continue;
        }
        if (dialogOffered) {
            giveUp();
        }
        m_platform.messages.show(
            QStringLiteral("Server nach 3 Versuchen nicht erreichbar!") + CrLf +
                QStringLiteral("Wahrscheinlich sind keine freien Lizenzen verfügbar!") + CrLf +
                QStringLiteral("Bitte Kontrollieren Sie die Verbindungsdaten"),
            Title, MsgButtons::Ok, MsgIcon::Warning);
        m_forms.showServerDialogModal();
        // The message tells the user to check the connection data: what the dialog shows now
        // is what the next tries use. Company, branch or user code stored there reach the
        // sign-in state at once; the work context of the coming connection must be theirs.
        const ConnectionBoxes corrected = m_forms.connectionBoxes();
        m_state.gConnectString =
            LoginLoader::connectString(corrected.server, corrected.port, corrected.nameSpace);
        contextCommand =
            buildWorkContextCommand(m_state.gFirma, m_state.gFiliale, m_state.gPersonalcode);
        dialogOffered = true;
        failures = 0;
    }
}

void Connection::DisconnectCache() {
    const AccessGate::Scope access(m_gate);
    m_forms.idleTimer().setEnabled(false);
    try {
        if (m_state.gFactory && m_state.gFactory->isConnected()) {
            m_state.gFactory->disconnect();
        }
    } catch (const std::exception&) {
        // Dropping a connection that is already broken is not worth a message.
    }
}

void Connection::CloseCacheObject(CacheObjectPtr& object) {
    m_platform.events.processEvents();
    try {
        if (object) {
            object->sysClose();
        }
    } catch (const std::exception&) {
        // The handle is released when the reference goes, whatever the server said.
    }
    object.reset();
}

void Connection::Pause(int hundredths) {
    const double wait = hundredths / 100.0;
    const double start = m_platform.clock.secondsSinceMidnight();
    for (;;) {
        const double now = m_platform.clock.secondsSinceMidnight();
        // The second condition ends the wait when the clock has passed midnight.
        if (!(now < start + wait && now + 0.01 > start)) {
            return;
        }
        const double untilEnd = std::min(start + wait, SecondsPerDay) - now;
        const int sliceMs = static_cast<int>(
            std::clamp(std::ceil(untilEnd * 1000.0), 1.0, static_cast<double>(WaitSliceMs)));
        m_platform.events.waitFor(sliceMs);
    }
}

bool Connection::factoryConnected() {
    if (!m_state.gFactory) {
        return false;
    }
    try {
        return m_state.gFactory->isConnected();
    } catch (const std::exception&) {
        return false; // a broken old connection just means: connect anew
    }
}

bool Connection::SignInOnServer() {
    buildWorkContextCommand(m_state.gFirma, m_state.gFiliale, m_state.gPersonalcode);
    if (!m_state.gFactory) {
        throw CacheError(ClientErrors::ServerUnreachable,
                         QStringLiteral("Keine Verbindung zum Server."));
    }
    const SignInRecord& last = m_lastSignIn;
    if (last.factory == m_state.gFactory.get() && last.data == signInDataKey()) {
        return last.accepted;
    }
    return signInWithState();
}

void Connection::allowSignInAgain() {
    m_refusedSignIn.reset();
}

bool Connection::signInWithState() {
    m_lastSignIn = SignInRecord{};
    QString password = m_state.gPasswort.reveal();
    bool accepted = false;
    try {
        accepted = m_state.gFactory->signIn(m_state.gFirma, m_state.gPersonalcode, password);
    } catch (...) {
        SecretText::wipe(password);
        throw;
    }
    SecretText::wipe(password);
    m_lastSignIn = SignInRecord{m_state.gFactory.get(), signInDataKey(), accepted};
    if (accepted) {
        m_refusedSignIn.reset();
    }
    return accepted;
}

Connection::SignInData Connection::signInDataKey() const {
    return SignInData{m_state.gFirma, m_state.gPersonalcode, m_state.gPasswort.serial()};
}

CacheError Connection::signInRefused() {
    return CacheError(ClientErrors::SignInRefused,
                      QStringLiteral("Der Server hat die Anmeldung abgelehnt (Passwort falsch "
                                     "oder Benutzer nicht aktiv). Bitte über „Login“ neu "
                                     "anmelden."));
}

bool Connection::tryConnect() {
    m_lastSignIn = SignInRecord{};
    m_state.gFactory = m_createFactory(); // releases the previous factory object
    return m_state.gFactory->connect(m_state.gConnectString) && m_state.gFactory->isConnected();
}

void Connection::setWorkContext(const QString& contextCommand) {
    try {
        CacheObjectPtr windows = m_state.gFactory->classAccess(QStringLiteral("LX.Windows"));
        windows->call(QStringLiteral("Xecute"), {contextCommand});
        windows->call(QStringLiteral("Xecute"), {QStringLiteral("D ^%XTT")});
        CloseCacheObject(windows);
    } catch (...) {
        // A connection whose server process does not know company, branch and user would
        // serve wrong data; drop it so the next access starts over.
        dropConnection();
        throw;
    }
}

void Connection::dropConnection() {
    try {
        m_state.gFactory->disconnect();
    } catch (const std::exception&) {
        // It is being dropped because it failed; nothing more to say.
    }
}

void Connection::waitBeforeNextTry() {
    m_platform.events.processEvents();
    Pause(PauseBetweenTries);
}

void Connection::giveUp() {
    m_platform.messages.show(
        QStringLiteral("Der Server ist nicht erreichbar!") + CrLf +
            QStringLiteral("Wahrscheinlich sind keine Lizenzen frei. Die Anwendung wird beendet!") +
            CrLf +
            QStringLiteral("Bitte Versuchen Sie die Anmeldung zu einem späteren Zeitpunk noch "
                           "ein mal."),
        Title, MsgButtons::Ok, MsgIcon::Critical);
    m_forms.hideServerDialog();
    m_state.gBenutzer.clear();
    try {
        if (m_state.gFactory && m_state.gFactory->isConnected()) {
            m_state.gFactory->disconnect();
        }
    } catch (const std::exception&) {
        // The program ends anyway.
    }
    // The sign-in dialog's cancel action (nobody signed in, as above): every window unloaded,
    // the end; a failed end.
    m_helpers.UnloadAllAndEnd(ExitCode::Failure);
    // Only reached when an end is already under way; never go back to trying.
    throw CacheError(ClientErrors::ServerUnreachable,
                     QStringLiteral("Der Server ist nicht erreichbar."));
}
