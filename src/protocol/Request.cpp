#include "protocol/Request.h"

namespace protocol {

Request Request::hello(const QString& nameSpace, int version) {
    Request r;
    r.op = Operation::Hello;
    r.nameSpace = nameSpace;
    r.version = version;
    return r;
}

Request Request::open(const QString& className, const QString& id) {
    Request r;
    r.op = Operation::Open;
    r.className = className;
    r.id = id;
    return r;
}

Request Request::classAccess(const QString& className) {
    Request r;
    r.op = Operation::ClassAccess;
    r.className = className;
    return r;
}

Request Request::get(qint64 handle, const QString& name) {
    Request r;
    r.op = Operation::Get;
    r.handle = handle;
    r.name = name;
    return r;
}

Request Request::call(qint64 handle, const QString& name, const QList<QVariant>& args) {
    Request r;
    r.op = Operation::Call;
    r.handle = handle;
    r.name = name;
    r.args = args;
    return r;
}

Request Request::close(qint64 handle) {
    Request r;
    r.op = Operation::Close;
    r.handle = handle;
    return r;
}

Request Request::bye() {
    Request r;
    r.op = Operation::Bye;
    return r;
}

Request Request::signIn(const QString& company, const QString& user, const QString& password,
                        const QString& resume) {
    Request r;
    r.op = Operation::SignIn;
    r.company = company;
    r.user = user;
    r.password = password;
    r.resume = resume;
    return r;
}

QString operationName(Operation op) {
    switch (op) {
    case Operation::Hello:
        return QStringLiteral("hello");
    case Operation::Open:
        return QStringLiteral("open");
    case Operation::ClassAccess:
        return QStringLiteral("class");
    case Operation::Get:
        return QStringLiteral("get");
    case Operation::Call:
        return QStringLiteral("call");
    case Operation::Close:
        return QStringLiteral("close");
    case Operation::Bye:
        return QStringLiteral("bye");
    case Operation::SignIn:
        return QStringLiteral("signin");
    }
    return {};
}

} // namespace protocol
