#include "ClassCatalogue.h"

#include "KassaClass.h"
#include "ParPersAbtClass.h"
#include "ParPersEdvClass.h"
#include "PersBasisClass.h"
#include "ServerError.h"
#include "WindowsClass.h"
#include "ZeiterfassungClass.h"

ClassCatalogue::ClassCatalogue(TelemetryReplyCache* keptReplies) {
    const std::shared_ptr<const ServerClass> classes[] = {
        std::make_shared<ParPersEdvClass>(),
        std::make_shared<ParPersAbtClass>(),
        std::make_shared<PersBasisClass>(),
        std::make_shared<WindowsClass>(),
        std::make_shared<KassaClass>(keptReplies),
        std::make_shared<ZeiterfassungClass>(keptReplies),
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
