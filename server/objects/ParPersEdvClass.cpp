#include "ParPersEdvClass.h"

#include "ObjectId.h"
#include "OdbcForms.h"
#include "RecordObject.h"
#include "Store.h"

std::unique_ptr<ServerObject> ParPersEdvClass::open(const QString& id,
                                                    MethodContext& context) const {
    const std::optional<ObjectId> key = ObjectId::parse(id);
    const std::optional<UserRecord> user =
        key ? context.store.user(key->firma, key->key) : std::nullopt;
    if (!user) {
        ObjectId::throwNotFound(name(), id);
    }
    return std::make_unique<RecordObject>(
        name(),
        QMap<QString, QVariant>{{QStringLiteral("AKTIV"), user->aktiv},
                                {QStringLiteral("PNAME"), user->pname},
                                {QStringLiteral("PNR"), user->pnr},
                                {QStringLiteral("AbtNr"), user->abtNr},
                                {QStringLiteral("DW"), user->dw},
                                {QStringLiteral("BERGRP"), user->berGrp}},
        QMap<QString, RecordObject::Conversion>{
            {QStringLiteral("PNAMELogicalToODBC"), &OdbcForms::personName}});
}
