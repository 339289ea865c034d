#include "ParPersAbtClass.h"

#include "ObjectId.h"
#include "OdbcForms.h"
#include "RecordObject.h"
#include "Store.h"

std::unique_ptr<ServerObject> ParPersAbtClass::open(const QString& id,
                                                    MethodContext& context) const {
    const std::optional<ObjectId> key = ObjectId::parse(id);
    const std::optional<DepartmentRecord> department =
        key ? context.store.department(key->firma, key->key) : std::nullopt;
    if (!department) {
        ObjectId::throwNotFound(name(), id);
    }
    return std::make_unique<RecordObject>(
        name(),
        QMap<QString, QVariant>{{QStringLiteral("abtbez"), department->abtbez},
                                {QStringLiteral("AbtNr"), department->abtNr},
                                {QStringLiteral("HAbtNr"), department->hAbtNr}},
        QMap<QString, RecordObject::Conversion>{
            {QStringLiteral("ABTBEZlogicaltoodbc"), &OdbcForms::departmentName}});
}
