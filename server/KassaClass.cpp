#include "KassaClass.h"

#include "ServerError.h"
#include "SessionBranch.h"
#include "Store.h"

QVariant KassaClass::callClassMethod(const QString& method, const QVariantList& args,
                                     SessionContext& context) const {
    if (method != QLatin1String("NichtVerbuchtStatus")) {
        return ServerClass::callClassMethod(method, args, context);
    }
    if (!args.isEmpty()) {
        throw ServerError(ServerErrorNumber::WrongArguments,
                          QStringLiteral("<PARAMETER> NichtVerbuchtStatus takes no argument"));
    }
    const std::optional<SessionBranch> branch = SessionBranch::of(context.variables);
    if (!branch) {
        return QString();
    }
    QString reply;
    for (const RegisterRecord& record : context.store.registers(branch->firma, branch->filiale)) {
        for (const QString* field :
             {&record.kasse, &record.anzahl, &record.firstCnt, &record.lastCnt}) {
            reply += *field;
            reply += QLatin1Char('|');
        }
    }
    return reply;
}
