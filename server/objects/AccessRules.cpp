#include "AccessRules.h"

#include "ObjectId.h"
#include "ProcessVariables.h"
#include "ServerError.h"
#include "ValueText.h"

namespace {

const QString PersonnelRecord = QStringLiteral("LX.ParPersEdv");

bool isPersonnelClass(const QString& className) {
    return className == PersonnelRecord || className == QLatin1String("LX.ParPersAbt") ||
           className == QLatin1String("LX.PersBasis");
}

[[noreturn]] void refuse(const QString& text) {
    throw ServerError(ServerErrorNumber::NotPermitted, QStringLiteral("<PROTECT> %1").arg(text));
}

} // namespace

namespace AccessRules {

void checkOpen(const SignedInUser& identity, const QString& className, const QString& id) {
    if (!isPersonnelClass(className)) {
        return;
    }
    const std::optional<ObjectId> key = ObjectId::parse(id);
    if (!key) {
        return;
    }
    if (key->firma != identity.firma) {
        refuse(QStringLiteral("%1: another company's records").arg(className));
    }
    if (className == PersonnelRecord && key->key != identity.code) {
        refuse(QStringLiteral("%1: another user's record").arg(className));
    }
}

void checkClass(const SignedInUser& identity, const QString& className) {
    if (className.startsWith(QLatin1String("Telemetrie.")) && !identity.mayReadTelemetry()) {
        refuse(QStringLiteral("%1 needs rights group %2 or more")
                   .arg(className)
                   .arg(SignedInUser::kTelemetryRightsGroup));
    }
}

void checkProperty(const QString& className, const QString& property) {
    if (className == PersonnelRecord && property == QLatin1String("Passwort")) {
        refuse(QStringLiteral("the property Passwort is not served"));
    }
}

void checkWorkContext(const SignedInUser& identity, const ProcessVariables& variables) {
    const QString firma = QStringLiteral("FIRMA");
    if (variables.contains(firma) && wholeNumber(variables.value(firma)) != identity.firma) {
        refuse(QStringLiteral("FIRMA may only be the signed-in user's company"));
    }
    const QString personal = QStringLiteral("PERSONAL");
    if (variables.contains(personal) && valueText(variables.value(personal)) != identity.code) {
        refuse(QStringLiteral("PERSONAL may only be the signed-in user's code"));
    }
}

} // namespace AccessRules
