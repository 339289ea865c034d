#include "ClientWorkspace.h"

#include "AccessRules.h"
#include "MethodContext.h"
#include "ServerError.h"

ClientWorkspace::ClientWorkspace(Store& store, const ClassCatalogue& catalogue,
                                 const XecuteInterpreter& interpreter, int maxOpenObjects)
    : m_store(store)
    , m_catalogue(catalogue)
    , m_interpreter(interpreter)
    , m_maxOpenObjects(maxOpenObjects) {
}

void ClientWorkspace::setIdentity(std::optional<SignedInUser> identity) {
    m_identity = std::move(identity);
    m_identityCheckedAt.reset(); // the record is read again before the first use
    m_variables = ProcessVariables();
    m_open.clear();
}

bool ClientWorkspace::identityStillHolds() {
    if (!m_identity) {
        return true;
    }
    const Store::ChangeStamp now = m_store.changeStamp();
    if (m_identityCheckedAt == now) {
        return true;
    }
    std::optional<UserRecord> record;
    try {
        record = m_store.user(m_identity->firma, m_identity->code);
    } catch (const ServerError&) {
        // A database that cannot be read cannot say the account changed either: the session
        // keeps what it was given at the last check, and asks again with its next request.
        return true;
    }
    const bool holds = record && record->aktiv == QLatin1String("J") &&
                       record->passwordHash == m_identity->passwordHash &&
                       SignedInUser::rightsGroupFrom(record->berGrp) >= m_identity->rightsGroup;
    m_identityCheckedAt = now;
    return holds;
}

MethodContext ClientWorkspace::context() {
    return MethodContext{m_store, m_variables, m_interpreter, m_identity ? &*m_identity : nullptr};
}

qint64 ClientWorkspace::openObject(const QString& className, const QString& id) {
    const ServerClass& serverClass = m_catalogue.find(className);
    if (m_identity) {
        AccessRules::checkOpen(*m_identity, className, id);
    }
    ensureRoom(); // before the store is read for a handle that could not be kept
    MethodContext session = context();
    return add({&serverClass, serverClass.open(id, session)});
}

qint64 ClientWorkspace::classAccess(const QString& className) {
    const ServerClass& serverClass = m_catalogue.find(className);
    if (m_identity) {
        AccessRules::checkClass(*m_identity, className);
    }
    return add({&serverClass, nullptr});
}

QVariant ClientWorkspace::property(qint64 handle, const QString& name) {
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

QVariant ClientWorkspace::call(qint64 handle, const QString& method, const QVariantList& args) {
    const OpenEntry open = entry(handle);
    if (open.object) {
        return open.object->call(method, args);
    }
    if (m_identity) {
        // Checked at every call, not only when the handle was taken.
        AccessRules::checkClass(*m_identity, open.serverClass->name());
    }
    MethodContext session = context();
    return open.serverClass->callClassMethod(method, args, session);
}

void ClientWorkspace::close(qint64 handle) {
    entry(handle);
    m_open.remove(handle);
}

void ClientWorkspace::ensureRoom() const {
    if (openCount() >= m_maxOpenObjects) {
        throw ServerError(ServerErrorNumber::TooManyObjects,
                          QStringLiteral("<MAXOBJECTS> more than %1 open objects in one session")
                              .arg(m_maxOpenObjects));
    }
}

qint64 ClientWorkspace::add(OpenEntry entry) {
    ensureRoom();
    const qint64 handle = m_nextHandle++;
    m_open.insert(handle, std::move(entry));
    return handle;
}

const ClientWorkspace::OpenEntry& ClientWorkspace::entry(qint64 handle) const {
    const auto it = m_open.constFind(handle);
    if (it == m_open.constEnd()) {
        throw ServerError(ServerErrorNumber::UnknownObject,
                          QStringLiteral("<INVALID OREF> handle %1 is not open").arg(handle));
    }
    return it.value();
}
