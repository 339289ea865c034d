#include "WindowsClass.h"

#include "ServerError.h"
#include "ValueText.h"
#include "XecuteInterpreter.h"

QVariant WindowsClass::callClassMethod(const QString& method, const QVariantList& args,
                                       SessionContext& context) const {
    if (method != QLatin1String("Xecute")) {
        return ServerClass::callClassMethod(method, args, context);
    }
    if (args.size() != 1) {
        throw ServerError(
            ServerErrorNumber::WrongArguments,
            QStringLiteral("<PARAMETER> Xecute takes one argument, not %1").arg(args.size()));
    }
    context.interpreter.execute(valueText(args.first()), context.variables);
    return QString();
}
