#pragma once

#include "ServerClass.h"

// LX.ParPersAbt: a department, id company + "||" + department number.
class ParPersAbtClass : public ServerClass {
public:
    QString name() const override { return QStringLiteral("LX.ParPersAbt"); }
    std::unique_ptr<ServerObject> open(const QString& id, MethodContext& context) const override;
};
