#include "ZeiterfassungClass.h"

#include "ServerError.h"
#include "SessionBranch.h"
#include "Store.h"

#include <QStringList>

QVariant ZeiterfassungClass::callClassMethod(const QString& method, const QVariantList& args,
                                             SessionContext& context) const {
    if (method != QLatin1String("Zaehlerstand")) {
        return ServerClass::callClassMethod(method, args, context);
    }
    if (!args.isEmpty()) {
        throw ServerError(ServerErrorNumber::WrongArguments,
                          QStringLiteral("<PARAMETER> Zaehlerstand takes no argument"));
    }
    const std::optional<SessionBranch> branch = SessionBranch::of(context.variables);
    if (!branch) {
        return QString();
    }
    QStringList fields;
    for (const ClockRecord& clock : context.store.clocks(branch->firma, branch->filiale)) {
        fields << clock.nr << clock.eIst << clock.eSoll << clock.sIst << clock.sSoll;
    }
    return fields.join(QLatin1Char('|'));
}
