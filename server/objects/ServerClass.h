#pragma once

#include "MethodContext.h"
#include "ServerObject.h"

#include <QString>
#include <QVariant>
#include <QVariantList>

#include <memory>

// A class of the catalogue: opens its objects by id and runs its class methods.
class ServerClass {
public:
    virtual ~ServerClass() = default;

    virtual QString name() const = 0;
    // Throws ServerError (ObjectNotFound) for an id with no row; a class with only class
    // methods has no ids at all.
    virtual std::unique_ptr<ServerObject> open(const QString& id, MethodContext& context) const;
    // Throws ServerError (UnknownMethod, WrongArguments, or what the method fails with).
    virtual QVariant callClassMethod(const QString& method, const QVariantList& args,
                                     MethodContext& context) const;
};
