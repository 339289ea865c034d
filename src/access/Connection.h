#pragma once

#include "access/AccessGate.h"
#include "access/BusyCursor.h"
#include "objectclient/CacheError.h"
#include "objectclient/CacheFactory.h"

#include <optional>

class FormHelpers;
class FormHost;
struct Platform;
struct SignInState;

// The connection to the object server: connects on demand with bounded tries, brackets every
// server access (cursor, idle timer), drops an idle connection, releases server objects. Its
// gate keeps server accesses one at a time while window events run during their waits.
class Connection {
public:
    Connection(SignInState& state, Platform& platform, FormHost& forms, FormHelpers& helpers,
               CacheFactoryCreator createFactory);

    void BeginCacheAccess(bool showHourglass, bool unlimitedTries);
    void EndCacheAccess(bool restoreCursor);
    // Connects unless connected, then sets the server's work context. Invalid company or branch
    // data raise CacheError before anything is sent. Three tries 10 s apart, the server dialog,
    // three more, then the program ends (or, with unlimitedTries, tries for ever). The tries
    // after the server dialog go to the server, port and namespace the dialog shows then.
    // Called again from a timer while those tries run, it raises CacheError (ServerUnreachable)
    // at once.
    void ConnectCache(bool unlimitedTries);
    // Stops the idle timer and disconnects; a server access of its own.
    void DisconnectCache();
    // Calls SYS_Close (ignoring its failure) and empties the reference in every case.
    void CloseCacheObject(CacheObjectPtr& object);
    // Signs the current connection in with company, user code and password of the sign-in
    // state, unless it is signed in with exactly these already; returns the server's answer.
    // Invalid sign-in data raise CacheError before anything is sent.
    bool SignInOnServer();
    // A sign-in the user starts asks the server again, even with data it refused before.
    void allowSignInAgain();
    // Waits hundredths/100 seconds while window events go on; ends early at midnight.
    void Pause(int hundredths);

    // For runs without a user at the screen: a failed connection try raises CacheError
    // (ServerUnreachable) at once, without pause, message, dialog or end of the program.
    void setFailFast(bool failFast) { m_failFast = failFast; }
    bool failFast() const { return m_failFast; }

    // Whoever starts a server access goes through here: a Scope while it runs, a place in line
    // while another one runs.
    AccessGate& gate() { return m_gate; }
    // Shown while a server access keeps the user's own action (sign-in, "Refresh") waiting.
    BusyCursor& busyCursor() { return m_busyCursor; }

private:
    bool factoryConnected();
    bool tryConnect();
    void setWorkContext(const QString& contextCommand);
    void dropConnection();
    bool signInWithState();
    void waitBeforeNextTry();
    [[noreturn]] void giveUp();

    SignInState& m_state;
    Platform& m_platform;
    FormHost& m_forms;
    FormHelpers& m_helpers;
    CacheFactoryCreator m_createFactory;
    AccessGate m_gate;
    BusyCursor m_busyCursor;
    bool m_failFast = false;
    bool m_connecting = false; // a series of tries is under way
    // The last sign-in of the current factory, so that it is not repeated (nor counted twice as
    // a failure by the server) for the same data. Held in memory only, like the password itself.
    // The data of a sign-in; the password by the serial of the one copy held, never a copy.
    struct SignInData {
        QString company;
        QString user;
        quint64 passwordSerial = 0;
        bool operator==(const SignInData&) const = default;
    };
    struct SignInRecord {
        const CacheFactory* factory = nullptr;
        SignInData data;
        bool accepted = false;
    };
    SignInData signInDataKey() const;
    static CacheError signInRefused();

    SignInRecord m_lastSignIn;
    // Data the server refused for a new connection; not offered again until the user signs in.
    std::optional<SignInData> m_refusedSignIn;
};
