#pragma once

#include "objectclient/CacheObject.h"

#include <QString>

#include <functional>

class CacheApi;

// Signs a user in: loads the connection data (asking through the sign-in dialog when needed),
// connects, checks user code and password against the personnel table, fills the sign-in state
// and tells the server process for whom it works.
class SignIn {
public:
    // programCommandLine: the program's arguments joined by blanks, without the program path.
    SignIn(CacheApi& api, QString programCommandLine);

    // True when the user is signed in and the sign-in state is filled. A rejected or failed
    // attempt returns false after telling the user; only a connection that cannot be made at
    // all (or "Abbruch" in the dialog) ends the program.
    bool CheckLogin();

    // Operation texts of the reported steps.
    static const QString OperationConnect;
    static const QString OperationPersonalcode;
    static const QString OperationAbteilung;
    static const QString OperationPersBasis;
    static const QString OperationSetzen;

private:
    bool signInWithLoadedData();
    void readPersonnelRecord(CacheObject& person);
    void reject();
    void reportFailure(int number, const QString& description, const QString& operation);
    void finish();
    CacheObjectPtr open(const QString& className, const QString& key);

    CacheApi& m_api;
    QString m_programCommandLine;
    // The box of a refused or failed sign-in, shown once the server access has ended: a box
    // shown inside it would hold every waiting refresh until it is closed.
    std::function<void()> m_boxAfterAccess;
};
