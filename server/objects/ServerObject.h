#pragma once

#include <QString>
#include <QVariant>
#include <QVariantList>

// An object a session has opened: a snapshot of its stored row with the methods of its class.
class ServerObject {
public:
    virtual ~ServerObject() = default;

    virtual QString className() const = 0;
    // Throws ServerError (UnknownProperty).
    virtual QVariant property(const QString& name) const = 0;
    // Throws ServerError (UnknownMethod, WrongArguments).
    virtual QVariant call(const QString& method, const QVariantList& args) const = 0;
};
