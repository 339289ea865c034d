#pragma once

#include "ServerClass.h"

// LX.PersBasis: the base data of a person, id company + "||" + personnel number.
class PersBasisClass : public ServerClass {
public:
    QString name() const override { return QStringLiteral("LX.PersBasis"); }
    std::unique_ptr<ServerObject> open(const QString& id, MethodContext& context) const override;
};
