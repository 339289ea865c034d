#pragma once

#include "ServerClass.h"

// LX.Windows: class method Xecute(command) runs a server command line in the session.
class WindowsClass : public ServerClass {
public:
    QString name() const override { return QStringLiteral("LX.Windows"); }
    QVariant callClassMethod(const QString& method, const QVariantList& args,
                             MethodContext& context) const override;
};
