#include "protocol/WireValue.h"

#include <limits>

namespace protocol {

std::optional<QCborValue> valueToCbor(const QVariant& value) {
    if (!value.isValid() || value.isNull()) {
        return QCborValue(nullptr);
    }
    switch (value.typeId()) {
    case QMetaType::Bool:
        return QCborValue(value.toBool());
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UInt:
    case QMetaType::UShort:
        return QCborValue(value.toLongLong());
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        if (value.toULongLong() > static_cast<qulonglong>(std::numeric_limits<qint64>::max())) {
            return std::nullopt;
        }
        return QCborValue(value.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return QCborValue(value.toDouble());
    case QMetaType::QString:
        return QCborValue(value.toString());
    default:
        return std::nullopt;
    }
}

std::optional<QVariant> valueFromCbor(const QCborValue& item) {
    switch (item.type()) {
    case QCborValue::Null:
        return QVariant();
    case QCborValue::False:
        return QVariant(false);
    case QCborValue::True:
        return QVariant(true);
    case QCborValue::Integer:
        return QVariant(static_cast<qint64>(item.toInteger()));
    case QCborValue::Double:
        return QVariant(item.toDouble());
    case QCborValue::String:
        return QVariant(item.toString());
    default:
        return std::nullopt;
    }
}

} // namespace protocol
