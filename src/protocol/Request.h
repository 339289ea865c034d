#pragma once

#include <QList>
#include <QString>
#include <QVariant>

namespace protocol {

enum class Operation {
    Hello,       // "hello": version, namespace
    Open,        // "open": class, id -> handle
    ClassAccess, // "class": class -> handle
    Get,         // "get": handle, name -> value
    Call,        // "call": handle, name, args -> value
    Close,       // "close": handle
    Bye,         // "bye": ends the session after the reply
    SignIn,      // "signin": company, user, password[, resume] -> true or false[, resume]
};

// One request. Only the fields of its operation matter; seq is echoed in the reply.
struct Request {
    Operation op = Operation::Bye;
    qint64 seq = 0;
    int version = 0;
    QString nameSpace;
    QString className;
    QString id;
    qint64 handle = 0;
    QString name;
    QList<QVariant> args;
    QString company;
    QString user;
    QString password;
    QString resume; // signin: a resume token of an earlier sign-in, tried before the password

    static Request hello(const QString& nameSpace, int version);
    static Request open(const QString& className, const QString& id);
    static Request classAccess(const QString& className);
    static Request get(qint64 handle, const QString& name);
    static Request call(qint64 handle, const QString& name, const QList<QVariant>& args);
    static Request close(qint64 handle);
    static Request bye();
    static Request signIn(const QString& company, const QString& user, const QString& password,
                          const QString& resume = {});

    bool operator==(const Request&) const = default;
};

// The wire name of an operation ("hello", "open", ...).
QString operationName(Operation op);

} // namespace protocol
