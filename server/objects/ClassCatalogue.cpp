#include "ClassCatalogue.h"

#include "PersonnelClasses.h"
#include "ServerError.h"
#include "TelemetryClass.h"
#include "WindowsClass.h"

ClassCatalogue::ClassCatalogue(TelemetryReplyCache* keptReplies) {
    const std::shared_ptr<const ServerClass> classes[] = {
        PersonnelClasses::parPersEdv(),     PersonnelClasses::parPersAbt(),
        PersonnelClasses::persBasis(),      std::make_shared<WindowsClass>(),
        TelemetryClass::kassa(keptReplies), TelemetryClass::zeiterfassung(keptReplies),
    };
    for (const auto& serverClass : classes) {
        m_classes.insert(serverClass->name(), serverClass);
    }
}

const ServerClass& ClassCatalogue::find(const QString& name) const {
    const auto it = m_classes.constFind(name);
    if (it == m_classes.constEnd()) {
        throw ServerError(ServerErrorNumber::UnknownClass,
                          QStringLiteral("<CLASS DOES NOT EXIST> %1").arg(name));
    }
    return *it.value();
}
