#pragma once

#include "ServerClass.h"

// LX.ParPersEdv: the personnel record of a program user, id company + "||" + user code.
class ParPersEdvClass : public ServerClass {
public:
    QString name() const override { return QStringLiteral("LX.ParPersEdv"); }
    std::unique_ptr<ServerObject> open(const QString& id, MethodContext& context) const override;
};
