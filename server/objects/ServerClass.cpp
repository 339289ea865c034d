#include "ServerClass.h"

#include "ServerError.h"

std::unique_ptr<ServerObject> ServerClass::open(const QString& id,
                                                MethodContext& /*context*/) const {
    throw ServerError(
        ServerErrorNumber::ObjectNotFound,
        QStringLiteral("<OBJECT NOT FOUND> %1 has no objects, not even %2").arg(name(), id));
}

QVariant ServerClass::callClassMethod(const QString& method, const QVariantList& /*args*/,
                                      MethodContext& /*context*/) const {
    throw ServerError(ServerErrorNumber::UnknownMethod,
                      QStringLiteral("<METHOD DOES NOT EXIST> %1 of class %2").arg(method, name()));
}
