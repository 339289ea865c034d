#include "SessionState.h"

#include "ServerError.h"
#include "SessionContext.h"

SessionState::SessionState(Store& store, const ClassCatalogue& catalogue,
                           const XecuteInterpreter& interpreter, int maxOpenObjects)
    : m_store(store)
    , m_catalogue(catalogue)
    , m_interpreter(interpreter)
    , m_maxOpenObjects(maxOpenObjects) {
}

qint64 SessionState::openObject(const QString& className, const QString& id) {
    const ServerClass& serverClass = m_catalogue.find(className);
    ensureRoom(); // before the store is read for a handle that could not be kept
    SessionContext context{m_store, m_variables, m_interpreter};
    return add({&serverClass, serverClass.open(id, context)});
}

qint64 SessionState::classAccess(const QString& className) {
    return add({&m_catalogue.find(className), nullptr});
}

QVariant SessionState::property(qint64 handle, const QString& name) {
    const OpenEntry& open = entry(handle);
    if (!open.object) {
        throw ServerError(ServerErrorNumber::UnknownProperty,
                          QStringLiteral("<PROPERTY DOES NOT EXIST> %1: a class handle has no"
                                         " properties")
                              .arg(name));
    }
    return open.object->property(name);
}

QVariant SessionState::call(qint64 handle, const QString& method, const QVariantList& args) {
    const OpenEntry open = entry(handle);
    if (open.object) {
        return open.object->call(method, args);
    }
    SessionContext context{m_store, m_variables, m_interpreter};
    return open.serverClass->callClassMethod(method, args, context);
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
