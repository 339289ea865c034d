#pragma once

#include "ClassCatalogue.h"
#include "ProcessVariables.h"
#include "SignedInUser.h"
#include "Store.h"

#include <QHash>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <memory>
#include <optional>

class XecuteInterpreter;

// What one client connection has on the server, apart from the wire: its variables and its
// open objects and class handles, each known by a handle number. Every operation throws
// ServerError on failure; a failed operation changes nothing.
class ClientWorkspace {
public:
    ClientWorkspace(Store& store, const ClassCatalogue& catalogue,
                    const XecuteInterpreter& interpreter, int maxOpenObjects);

    // Both return the new handle (from 1 on). Throws TooManyObjects when the limit is reached.
    qint64 openObject(const QString& className, const QString& id);
    qint64 classAccess(const QString& className);
    QVariant property(qint64 handle, const QString& name);
    // A method of an object, or a class method of a class handle.
    QVariant call(qint64 handle, const QString& method, const QVariantList& args);
    // Throws UnknownObject for a handle that is not open.
    void close(qint64 handle);

    int openCount() const { return static_cast<int>(m_open.size()); }
    // From a sign-in on, every operation is checked against AccessRules for this user; a new
    // sign-in (or a failed one, with nullopt) closes every handle and starts the work context
    // afresh.
    void setIdentity(std::optional<SignedInUser> identity);
    // Whether the signed-in user's account is still as it was signed in: there, active, the
    // same password, rights not lowered. Read again only when the store's change stamp says
    // something was written since the last look. Throws ServerError when the store fails.
    bool identityStillHolds();
    const std::optional<SignedInUser>& identity() const { return m_identity; }
    ProcessVariables& variables() { return m_variables; }

private:
    struct OpenEntry {
        const ServerClass* serverClass = nullptr;
        std::shared_ptr<ServerObject> object; // empty for a class handle
    };

    void ensureRoom() const;
    qint64 add(OpenEntry entry);
    const OpenEntry& entry(qint64 handle) const;
    MethodContext context();

    Store& m_store;
    const ClassCatalogue& m_catalogue;
    const XecuteInterpreter& m_interpreter;
    int m_maxOpenObjects;
    ProcessVariables m_variables;
    std::optional<SignedInUser> m_identity;
    std::optional<Store::ChangeStamp> m_identityCheckedAt;
    QHash<qint64, OpenEntry> m_open;
    qint64 m_nextHandle = 1; // never reused within a session, so a stale handle stays unknown
};
