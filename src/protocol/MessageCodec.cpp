#include "protocol/MessageCodec.h"

#include "protocol/EncodedText.h"
#include "protocol/Limits.h"
#include "protocol/SafeCbor.h"
#include "protocol/WireValue.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborStreamWriter>

#include <limits>

namespace protocol {

namespace {

const QString KeyOp = QStringLiteral("op");
const QString KeySeq = QStringLiteral("seq");
const QString KeyVersion = QStringLiteral("version");
const QString KeyNamespace = QStringLiteral("namespace");
const QString KeyClass = QStringLiteral("class");
const QString KeyId = QStringLiteral("id");
const QString KeyHandle = QStringLiteral("handle");
const QString KeyName = QStringLiteral("name");
const QString KeyArgs = QStringLiteral("args");
const QString KeyOk = QStringLiteral("ok");
const QString KeyValue = QStringLiteral("value");
const QString KeyError = QStringLiteral("error");
const QString KeyText = QStringLiteral("text");
const QString KeyCompany = QStringLiteral("company");
const QString KeyUser = QStringLiteral("user");
const QString KeyPassword = QStringLiteral("password");
const QString KeyResume = QStringLiteral("resume");

bool textFits(const QString& text) {
    // UTF-8 never takes more than three bytes per UTF-16 unit; count exactly only when needed.
    if (text.size() * 3 <= MaxTextBytes) {
        return true;
    }
    return text.toUtf8().size() <= MaxTextBytes;
}

template <typename T> Outcome<T> tooLong() {
    return Outcome<T>::failure(ErrorCode::TextTooLong,
                               QStringLiteral("a text exceeds %1 bytes").arg(MaxTextBytes));
}

Outcome<QByteArray> finish(const QCborMap& map) {
    QByteArray payload = map.toCborValue().toCbor();
    if (payload.size() > MaxFrameBytes) {
        return Outcome<QByteArray>::failure(
            ErrorCode::BadFrameLength,
            QStringLiteral("message of %1 bytes exceeds the frame limit").arg(payload.size()));
    }
    return Outcome<QByteArray>::success(std::move(payload));
}

// Reads typed fields of a decoded message map and remembers the first problem.
class FieldReader {
public:
    explicit FieldReader(const QCborMap& map)
        : m_map(map) {}

    QString text(const QString& key) {
        const QCborValue v = m_map.value(key);
        if (!v.isString()) {
            complain(key, QStringLiteral("a text"));
            return {};
        }
        return v.toString();
    }

    qint64 integer(const QString& key) {
        const QCborValue v = m_map.value(key);
        if (!v.isInteger()) {
            complain(key, QStringLiteral("an integer"));
            return 0;
        }
        return v.toInteger();
    }

    qint64 optionalInteger(const QString& key) { return m_map.contains(key) ? integer(key) : 0; }

    bool failed() const { return !m_problem.isEmpty(); }
    const QString& problem() const { return m_problem; }

private:
    void complain(const QString& key, const QString& expected) {
        if (m_problem.isEmpty()) {
            m_problem = QStringLiteral("\"%1\" must be %2").arg(key, expected);
        }
    }

    const QCborMap& m_map;
    QString m_problem;
};

std::optional<Operation> operationFromName(const QString& name) {
    for (Operation op : {Operation::Hello, Operation::Open, Operation::ClassAccess, Operation::Get,
                         Operation::Call, Operation::Close, Operation::Bye, Operation::SignIn}) {
        if (operationName(op) == name) {
            return op;
        }
    }
    return std::nullopt;
}

Outcome<QCborMap> decodeMap(QByteArrayView payload) {
    Outcome<QCborValue> item = safeCborDecode(payload);
    if (!item.ok()) {
        return Outcome<QCborMap>::failure(item.error(), item.errorText());
    }
    if (!item.value().isMap()) {
        return Outcome<QCborMap>::failure(ErrorCode::MalformedMessage,
                                          QStringLiteral("a message is a CBOR map"));
    }
    return Outcome<QCborMap>::success(item.value().toMap());
}

} // namespace

Outcome<QByteArray> encodeRequest(const Request& request) {
    QCborMap map;
    map.insert(KeyOp, operationName(request.op));
    map.insert(KeySeq, request.seq);
    switch (request.op) {
    case Operation::Hello:
        if (!textFits(request.nameSpace)) {
            return tooLong<QByteArray>();
        }
        map.insert(KeyVersion, request.version);
        map.insert(KeyNamespace, request.nameSpace);
        break;
    case Operation::Open:
        if (!textFits(request.className) || !textFits(request.id)) {
            return tooLong<QByteArray>();
        }
        map.insert(KeyClass, request.className);
        map.insert(KeyId, request.id);
        break;
    case Operation::ClassAccess:
        if (!textFits(request.className)) {
            return tooLong<QByteArray>();
        }
        map.insert(KeyClass, request.className);
        break;
    case Operation::Get:
    case Operation::Call:
        if (!textFits(request.name)) {
            return tooLong<QByteArray>();
        }
        map.insert(KeyHandle, request.handle);
        map.insert(KeyName, request.name);
        if (request.op == Operation::Call) {
            if (request.args.size() > MaxArguments) {
                return Outcome<QByteArray>::failure(ErrorCode::TooManyArguments,
                                                    QStringLiteral("%1 arguments; at most %2")
                                                        .arg(request.args.size())
                                                        .arg(MaxArguments));
            }
            QCborArray args;
            for (const QVariant& arg : request.args) {
                std::optional<QCborValue> item = valueToCbor(arg);
                if (!item) {
                    return Outcome<QByteArray>::failure(
                        ErrorCode::UnsupportedValue,
                        QStringLiteral("argument of type %1").arg(arg.typeName()));
                }
                if (item->isString() && !textFits(item->toString())) {
                    return tooLong<QByteArray>();
                }
                args.append(*item);
            }
            map.insert(KeyArgs, args);
        }
        break;
    case Operation::Close:
        map.insert(KeyHandle, request.handle);
        break;
    case Operation::Bye:
        break;
    case Operation::SignIn:
        if (!textFits(request.company) || !textFits(request.user) || !textFits(request.password) ||
            !textFits(request.resume)) {
            return tooLong<QByteArray>();
        }
        map.insert(KeyCompany, request.company);
        map.insert(KeyUser, request.user);
        map.insert(KeyPassword, request.password);
        if (!request.resume.isEmpty()) {
            map.insert(KeyResume, request.resume);
        }
        break;
    }
    return finish(map);
}

Outcome<QByteArray> encodeResponse(const Response& response) {
    // Written straight into the bytes, in the order a map of the same entries would have: every
    // reply of the server passes here, and building a QCborMap first costs more than the rest.
    // A kept reply brings its bytes along: they are copied, not encoded again.
    const EncodedText* encoded = response.ok ? EncodedText::in(response.value) : nullptr;
    const bool plainText = response.ok && !encoded && response.value.isValid() &&
                           !response.value.isNull() &&
                           response.value.typeId() == QMetaType::QString;
    std::optional<QCborValue> value;
    if (!response.ok) {
        if (!textFits(response.errorText)) {
            return tooLong<QByteArray>();
        }
    } else if (encoded) {
        if (!textFits(encoded->text)) {
            return tooLong<QByteArray>();
        }
    } else if (plainText) {
        // Checked on the value itself: converting a large reply once more would cost.
        if (!textFits(*static_cast<const QString*>(response.value.constData()))) {
            return tooLong<QByteArray>();
        }
    } else {
        value = valueToCbor(response.value);
        if (!value) {
            return Outcome<QByteArray>::failure(
                ErrorCode::UnsupportedValue,
                QStringLiteral("reply value of type %1").arg(response.value.typeName()));
        }
    }
    const bool withValue = encoded || plainText || (value && !value->isNull());
    const bool withHandle = response.ok && response.handle != 0;
    const bool withResume = response.ok && !response.resume.isEmpty();
    if (withResume && !textFits(response.resume)) {
        return tooLong<QByteArray>();
    }
    QByteArray payload;
    payload.reserve(
        48 + (plainText ? static_cast<const QString*>(response.value.constData())->size() : 0) +
        (encoded ? encoded->cbor.size() : 0));
    {
        QCborStreamWriter writer(&payload);
        writer.startMap(response.ok
                            ? 2 + (withHandle ? 1 : 0) + (withValue ? 1 : 0) + (withResume ? 1 : 0)
                            : 4);
        writer.append(QLatin1StringView("seq"));
        writer.append(response.seq);
        writer.append(QLatin1StringView("ok"));
        writer.append(response.ok);
        if (!response.ok) {
            writer.append(QLatin1StringView("error"));
            writer.append(static_cast<qint64>(response.errorNumber));
            writer.append(QLatin1StringView("text"));
            writer.append(QStringView(response.errorText));
        } else {
            if (withHandle) {
                writer.append(QLatin1StringView("handle"));
                writer.append(response.handle);
            }
            if (encoded) {
                writer.append(QLatin1StringView("value"));
                payload.append(encoded->cbor); // the writer writes straight into payload
            } else if (plainText) {
                writer.append(QLatin1StringView("value"));
                writer.append(
                    QStringView(*static_cast<const QString*>(response.value.constData())));
            } else if (withValue) {
                writer.append(QLatin1StringView("value"));
                value->toCbor(writer);
            }
            if (withResume) {
                writer.append(QLatin1StringView("resume"));
                writer.append(QStringView(response.resume));
            }
        }
        writer.endMap();
    }
    if (payload.size() > MaxFrameBytes) {
        return Outcome<QByteArray>::failure(
            ErrorCode::BadFrameLength,
            QStringLiteral("message of %1 bytes exceeds the frame limit").arg(payload.size()));
    }
    return Outcome<QByteArray>::success(std::move(payload));
}

Outcome<Request> decodeRequest(QByteArrayView payload) {
    Outcome<QCborMap> decoded = decodeMap(payload);
    if (!decoded.ok()) {
        return Outcome<Request>::failure(decoded.error(), decoded.errorText());
    }
    const QCborMap& map = decoded.value();
    FieldReader fields(map);
    Request request;
    const QString opName = fields.text(KeyOp);
    request.seq = fields.optionalInteger(KeySeq);
    if (fields.failed()) {
        return Outcome<Request>::failure(ErrorCode::MalformedMessage, fields.problem());
    }
    const std::optional<Operation> op = operationFromName(opName);
    if (!op) {
        return Outcome<Request>::failure(ErrorCode::UnknownOperation,
                                         QStringLiteral("operation \"%1\"").arg(opName.left(40)));
    }
    request.op = *op;
    switch (request.op) {
    case Operation::Hello: {
        const qint64 version = fields.integer(KeyVersion);
        request.nameSpace = fields.text(KeyNamespace);
        if (version < std::numeric_limits<int>::min() ||
            version > std::numeric_limits<int>::max()) {
            return Outcome<Request>::failure(ErrorCode::UnsupportedVersion,
                                             QStringLiteral("version %1").arg(version));
        }
        request.version = static_cast<int>(version);
        break;
    }
    case Operation::Open:
        request.className = fields.text(KeyClass);
        request.id = fields.text(KeyId);
        break;
    case Operation::ClassAccess:
        request.className = fields.text(KeyClass);
        break;
    case Operation::Get:
        request.handle = fields.integer(KeyHandle);
        request.name = fields.text(KeyName);
        break;
    case Operation::Call: {
        request.handle = fields.integer(KeyHandle);
        request.name = fields.text(KeyName);
        const QCborValue args = map.value(KeyArgs);
        if (args.isUndefined()) {
            break;
        }
        if (!args.isArray()) {
            return Outcome<Request>::failure(ErrorCode::MalformedMessage,
                                             QStringLiteral("\"args\" must be an array"));
        }
        const QCborArray list = args.toArray();
        if (list.size() > MaxArguments) {
            return Outcome<Request>::failure(
                ErrorCode::TooManyArguments,
                QStringLiteral("%1 arguments; at most %2").arg(list.size()).arg(MaxArguments));
        }
        for (const QCborValue& item : list) {
            std::optional<QVariant> value = valueFromCbor(item);
            if (!value) {
                return Outcome<Request>::failure(
                    ErrorCode::MalformedMessage,
                    QStringLiteral("an argument must be null, Boolean, integer, double or text"));
            }
            request.args.append(*value);
        }
        break;
    }
    case Operation::Close:
        request.handle = fields.integer(KeyHandle);
        break;
    case Operation::Bye:
        break;
    case Operation::SignIn:
        request.company = fields.text(KeyCompany);
        request.user = fields.text(KeyUser);
        request.password = fields.text(KeyPassword);
        if (map.contains(KeyResume)) {
            request.resume = fields.text(KeyResume);
        }
        break;
    }
    if (fields.failed()) {
        return Outcome<Request>::failure(ErrorCode::MalformedMessage, fields.problem());
    }
    return Outcome<Request>::success(std::move(request));
}

Outcome<Response> decodeResponse(QByteArrayView payload) {
    Outcome<QCborMap> decoded = decodeMap(payload);
    if (!decoded.ok()) {
        return Outcome<Response>::failure(decoded.error(), decoded.errorText());
    }
    const QCborMap& map = decoded.value();
    FieldReader fields(map);
    Response response;
    response.seq = fields.optionalInteger(KeySeq);
    const QCborValue ok = map.value(KeyOk);
    if (!ok.isBool()) {
        return Outcome<Response>::failure(ErrorCode::MalformedMessage,
                                          QStringLiteral("\"ok\" must be a Boolean"));
    }
    response.ok = ok.toBool();
    if (response.ok) {
        response.handle = fields.optionalInteger(KeyHandle);
        const QCborValue value = map.value(KeyValue);
        if (!value.isUndefined()) {
            std::optional<QVariant> converted = valueFromCbor(value);
            if (!converted) {
                return Outcome<Response>::failure(
                    ErrorCode::MalformedMessage,
                    QStringLiteral("\"value\" must be null, Boolean, integer, double or text"));
            }
            response.value = *converted;
        }
        if (map.contains(KeyResume)) {
            response.resume = fields.text(KeyResume);
        }
    } else {
        const qint64 number = fields.integer(KeyError);
        response.errorText = fields.text(KeyText);
        if (number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max()) {
            return Outcome<Response>::failure(ErrorCode::MalformedMessage,
                                              QStringLiteral("error number out of range"));
        }
        response.errorNumber = static_cast<int>(number);
    }
    if (fields.failed()) {
        return Outcome<Response>::failure(ErrorCode::MalformedMessage, fields.problem());
    }
    return Outcome<Response>::success(std::move(response));
}

} // namespace protocol
