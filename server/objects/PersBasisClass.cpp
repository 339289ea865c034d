#include "PersBasisClass.h"

#include "ObjectId.h"
#include "OdbcForms.h"
#include "RecordObject.h"
#include "Store.h"

std::unique_ptr<ServerObject> PersBasisClass::open(const QString& id,
                                                   MethodContext& context) const {
    const std::optional<ObjectId> key = ObjectId::parse(id);
    const std::optional<BaseDataRecord> baseData =
        key ? context.store.baseData(key->firma, key->key) : std::nullopt;
    if (!baseData) {
        ObjectId::throwNotFound(name(), id);
    }
    return std::make_unique<RecordObject>(
        name(),
        QMap<QString, QVariant>{{QStringLiteral("fax"), baseData->fax},
                                {QStringLiteral("EMAIL"), baseData->email}},
        QMap<QString, RecordObject::Conversion>{
            {QStringLiteral("EMailLogicalToODBC"), &OdbcForms::email}});
}
