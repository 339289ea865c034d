#include "SessionState.h"

#include "AccessRules.h"
#include "ServerError.h"
#include "SessionContext.h"

SessionState::SessionState(Store& store, const ClassCatalogue& catalogue,
                           const XecuteInterpreter& interpreter, int maxOpenObjects)
    : m_store(store)
    , m_catalogue(catalogue)
    , m_interpreter(interpreter)
    , m_maxOpenObjects(maxOpenObjects) {
}

void SessionState::setIdentity(std::optional<SessionIdentity> identity) {
    m_identity = std::move(identity);
    m_identityCheckedAt.reset(); // the record is read again before the first use
    m_variables = SessionVariables();
    m_open.clear();
}

bool SessionState::identityStillHolds() {
    if (!m_identity) {
        return true;
    }
    const Store::ChangeStamp now = m_store.changeStamp();
    if (m_identityCheckedAt == now) {
        return true;
    }
    const std::optional<UserRecord> record = m_store.user(m_identity->firma, m_identity->code);
    const bool holds = record && record->aktiv == QLatin1String("J") &&
                       record->passwordHash == m_identity->passwordHash &&
                       SessionIdentity::rightsGroupFrom(record->berGrp) >= m_identity->rightsGroup;
    m_identityCheckedAt = now;
    return holds;
}

SessionContext SessionState::context() {
    return SessionContext{m_store, m_variables, m_interpreter, m_identity ? &*m_identity : nullptr};
}

qint64 SessionState::openObject(const QString& className, const QString& id) {
    const ServerClass& serverClass = m_catalogue.find(className);
    if (m_identity) {
        AccessRules::checkOpen(*m_identity, className, id);
    }
    ensureRoom(); // before the store is read for a handle that could not be kept
    SessionContext session = context();
    return add({&serverClass, serverClass.open(id, session)});
}

qint64 SessionState::classAccess(const QString& className) {
    const ServerClass& serverClass = m_catalogue.find(className);
    if (m_identity) {
        AccessRules::checkClass(*m_identity, className);
    }
    return add({&serverClass, nullptr});
}

QVariant SessionState::property(qint64 handle, const QString& name) {
    const OpenEntry& open = entry(handle);
    if (!open.object) {
        throw ServerError(ServerErrorNumber::UnknownProperty,
                          QStringLiteral("<PROPERTY DOES NOT EXIST> %1: a class handle has no"
                                         " properties")
                              .arg(name));
    }
    AccessRules::checkProperty(open.serverClass->name(), name);
    return open.object->property(name);
}

QVariant SessionState::call(qint64 handle, const QString& method, const QVariantList& args) {
    const OpenEntry open = entry(handle);
    if (open.object) {
        return open.object->call(method, args);
    }
    if (m_identity) {
        // Checked at every call, not only when the handle was taken.
        AccessRules::checkClass(*m_identity, open.serverClass->name());
    }
    SessionContext session = context();
    return open.serverClass->callClassMethod(method, args, session);
}

void SessionState::close(qint64 handle) {
    entry(handle);
    m_open.remove(handle);
}

void SessionState::ensureRoom() const {
    if (openCount() >= m_maxOpenObjects) {
        throw ServerError(ServerErrorNumber::TooManyObjects,
                          QStringLiteral("<MAXOBJECTS> more than %1 open objects in one session")
                              .arg(m_maxOpenObjects));
    }
}

qint64 SessionState::add(OpenEntry entry) {
    ensureRoom();
    const qint64 handle = m_nextHandle++;
    m_open.insert(handle, std::move(entry));
    return handle;
}

const SessionState::OpenEntry& SessionState::entry(qint64 handle) const {
    const auto it = m_open.constFind(handle);
    if (it == m_open.constEnd()) {
        throw ServerError(ServerErrorNumber::UnknownObject,
                          QStringLiteral("<INVALID OREF> handle %1 is not open").arg(handle));
    }
    return it.value();
}
