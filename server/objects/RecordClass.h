#pragma once

#include "RecordObject.h"
#include "ServerClass.h"

#include <QMap>
#include <QVariant>

#include <functional>
#include <optional>

class Store;

// A class whose objects are rows of the store, id company + "||" + key: opening reads the row's
// properties once; an id that is malformed or names no row is not found.
class RecordClass : public ServerClass {
public:
    using Properties = QMap<QString, QVariant>;
    // The properties of the row (firma, key), or nullopt when there is none.
    using Read =
        std::function<std::optional<Properties>(const Store&, qint64 firma, const QString& key)>;

    RecordClass(QString name, Read read, QMap<QString, RecordObject::Conversion> conversions);
    QString name() const override { return m_name; }
    std::unique_ptr<ServerObject> open(const QString& id, MethodContext& context) const override;

private:
    QString m_name;
    Read m_read;
    QMap<QString, RecordObject::Conversion> m_conversions;
};
