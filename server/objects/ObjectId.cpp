#include "ObjectId.h"

#include "ServerError.h"
#include "ValueText.h"

std::optional<ObjectId> ObjectId::parse(const QString& id) {
    const qsizetype bars = id.indexOf(QStringLiteral("||"));
    if (bars <= 0) {
        return std::nullopt;
    }
    const QString firmaText = id.left(bars);
    const QString key = id.mid(bars + 2);
    const std::optional<qint64> firma = wholeNumber(firmaText);
    if (!firma || firmaText.startsWith(QLatin1Char('-')) || key.isEmpty()) {
        return std::nullopt;
    }
    return ObjectId{*firma, key};
}

void ObjectId::throwNotFound(const QString& className, const QString& id) {
    throw ServerError(ServerErrorNumber::ObjectNotFound,
                      QStringLiteral("<OBJECT NOT FOUND> %1 with id %2").arg(className, id));
}
