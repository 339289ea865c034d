#include "PersonnelClasses.h"

#include "OdbcForms.h"
#include "Store.h"

namespace PersonnelClasses {

using Properties = RecordClass::Properties;

std::shared_ptr<const RecordClass> parPersEdv() {
    const auto read = [](const Store& store, qint64 firma,
                         const QString& code) -> std::optional<Properties> {
        const std::optional<UserRecord> user = store.user(firma, code);
        if (!user) {
            return std::nullopt;
        }
        return Properties{
            {QStringLiteral("AKTIV"), user->aktiv}, {QStringLiteral("PNAME"), user->pname},
            {QStringLiteral("PNR"), user->pnr},     {QStringLiteral("AbtNr"), user->abtNr},
            {QStringLiteral("DW"), user->dw},       {QStringLiteral("BERGRP"), user->berGrp}};
    };
    return std::make_shared<RecordClass>(
        QStringLiteral("LX.ParPersEdv"), read,
        QMap<QString, RecordObject::Conversion>{
            {QStringLiteral("PNAMELogicalToODBC"), &OdbcForms::personName}});
}

std::shared_ptr<const RecordClass> parPersAbt() {
    const auto read = [](const Store& store, qint64 firma,
                         const QString& number) -> std::optional<Properties> {
        const std::optional<DepartmentRecord> department = store.department(firma, number);
        if (!department) {
            return std::nullopt;
        }
        return Properties{{QStringLiteral("abtbez"), department->abtbez},
                          {QStringLiteral("AbtNr"), department->abtNr},
                          {QStringLiteral("HAbtNr"), department->hAbtNr}};
    };
    return std::make_shared<RecordClass>(
        QStringLiteral("LX.ParPersAbt"), read,
        QMap<QString, RecordObject::Conversion>{
            {QStringLiteral("ABTBEZlogicaltoodbc"), &OdbcForms::departmentName}});
}

std::shared_ptr<const RecordClass> persBasis() {
    const auto read = [](const Store& store, qint64 firma,
                         const QString& pnr) -> std::optional<Properties> {
        const std::optional<BaseDataRecord> baseData = store.baseData(firma, pnr);
        if (!baseData) {
            return std::nullopt;
        }
        return Properties{{QStringLiteral("fax"), baseData->fax},
                          {QStringLiteral("EMAIL"), baseData->email}};
    };
    return std::make_shared<RecordClass>(
        QStringLiteral("LX.PersBasis"), read,
        QMap<QString, RecordObject::Conversion>{
            {QStringLiteral("EMailLogicalToODBC"), &OdbcForms::email}});
}

} // namespace PersonnelClasses
