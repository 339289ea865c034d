#include "RecordClass.h"

#include "ObjectId.h"

RecordClass::RecordClass(QString name, Read read,
                         QMap<QString, RecordObject::Conversion> conversions)
    : m_name(std::move(name))
    , m_read(std::move(read))
    , m_conversions(std::move(conversions)) {
}

std::unique_ptr<ServerObject> RecordClass::open(const QString& id, MethodContext& context) const {
    const std::optional<ObjectId> key = ObjectId::parse(id);
    const std::optional<Properties> properties =
        key ? m_read(context.store, key->firma, key->key) : std::nullopt;
    if (!properties) {
        ObjectId::throwNotFound(m_name, id);
    }
    return std::make_unique<RecordObject>(m_name, *properties, m_conversions);
}
