#include "protocol/EncodedText.h"

#include "protocol/CborWriter.h"

namespace protocol {

namespace {

int registeredType() {
    static const int type = [] {
        QMetaType::registerConverter<EncodedText, QString>(
            [](const EncodedText& encoded) { return encoded.text; });
        return qMetaTypeId<EncodedText>();
    }();
    return type;
}

} // namespace

QVariant EncodedText::of(const QString& text) {
    registeredType();
    EncodedText encoded{text, {}};
    encoded.cbor.reserve(text.size() + 9);
    CborWriter(encoded.cbor).text(QStringView(text));
    return QVariant::fromValue(std::move(encoded));
}

const EncodedText* EncodedText::in(const QVariant& value) {
    return value.typeId() == registeredType() ? static_cast<const EncodedText*>(value.constData())
                                              : nullptr;
}

} // namespace protocol
