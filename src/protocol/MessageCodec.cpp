#include "protocol/MessageCodec.h"

#include "protocol/CborMessage.h"
#include "protocol/CborWriter.h"
#include "protocol/EncodedText.h"
#include "protocol/Limits.h"

#include <QtEndian>

#include <limits>

namespace protocol {

namespace {

constexpr QLatin1StringView KeyOp("op");
constexpr QLatin1StringView KeySeq("seq");
constexpr QLatin1StringView KeyVersion("version");
constexpr QLatin1StringView KeyNamespace("namespace");
constexpr QLatin1StringView KeyClass("class");
constexpr QLatin1StringView KeyId("id");
constexpr QLatin1StringView KeyHandle("handle");
constexpr QLatin1StringView KeyName("name");
constexpr QLatin1StringView KeyArgs("args");
constexpr QLatin1StringView KeyOk("ok");
constexpr QLatin1StringView KeyValue("value");
constexpr QLatin1StringView KeyError("error");
constexpr QLatin1StringView KeyText("text");
constexpr QLatin1StringView KeyCompany("company");
constexpr QLatin1StringView KeyUser("user");
constexpr QLatin1StringView KeyPassword("password");
constexpr QLatin1StringView KeyResume("resume");

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

// The frame around a payload written after room for its header: the header filled in.
Outcome<QByteArray> finish(QByteArray bytes, qsizetype headerRoom) {
    const qsizetype payloadBytes = bytes.size() - headerRoom;
    if (payloadBytes > MaxFrameBytes) {
        return Outcome<QByteArray>::failure(
            ErrorCode::BadFrameLength,
            QStringLiteral("message of %1 bytes exceeds the frame limit").arg(payloadBytes));
    }
    if (headerRoom > 0) {
        qToBigEndian<quint32>(static_cast<quint32>(payloadBytes), bytes.data());
    }
    return Outcome<QByteArray>::success(std::move(bytes));
}

// Reads typed fields of a decoded message map and remembers the first problem.
class FieldReader {
public:
    explicit FieldReader(const CborMessage& message)
        : m_message(message) {}

    QString text(QLatin1StringView key) {
        const std::optional<CborMessage::Item> v = m_message.field(key);
        if (!v || !v->isText()) {
            complain(key, QStringLiteral("a text"));
            return {};
        }
        return v->toText();
    }

    qint64 integer(QLatin1StringView key) {
        const std::optional<CborMessage::Item> v = m_message.field(key);
        if (!v || !v->isInteger()) {
            complain(key, QStringLiteral("an integer"));
            return 0;
        }
        return v->toInteger();
    }

    qint64 optionalInteger(QLatin1StringView key) {
        const std::optional<CborMessage::Item> v = m_message.field(key);
        if (v && !v->isInteger()) {
            complain(key, QStringLiteral("an integer"));
            return 0;
        }
        return v ? v->toInteger() : 0;
    }
    bool contains(QLatin1StringView key) const { return m_message.field(key).has_value(); }

    bool failed() const { return !m_problem.isEmpty(); }
    const QString& problem() const { return m_problem; }

private:
    void complain(QLatin1StringView key, const QString& expected) {
        if (m_problem.isEmpty()) {
            m_problem = QStringLiteral("\"%1\" must be %2").arg(key, expected);
        }
    }

    const CborMessage& m_message;
    QString m_problem;
};

std::optional<Operation> operationNamed(const CborMessage::Item& name) {
    static const QList<std::pair<QByteArray, Operation>> names = [] {
        QList<std::pair<QByteArray, Operation>> list;
        for (Operation op :
             {Operation::Hello, Operation::Open, Operation::ClassAccess, Operation::Get,
              Operation::Call, Operation::Close, Operation::Bye, Operation::SignIn}) {
            list.append({operationName(op).toLatin1(), op});
        }
        return list;
    }();
    for (const auto& [text, op] : names) {
        if (name.equals(QLatin1StringView(text))) {
            return op;
        }
    }
    return std::nullopt;
}

// Why a message read from a peer is not a message at all; empty when it is one.
std::optional<std::pair<ErrorCode, QString>> notAMessage(const CborMessage& message) {
    if (!message.ok()) {
        return std::pair(message.error(), message.errorText());
    }
    if (!message.root().isMap()) {
        return std::pair(ErrorCode::MalformedMessage, QStringLiteral("a message is a CBOR map"));
    }
    return std::nullopt;
}

Outcome<QByteArray> encodeResponseAfter(const Response& response, qsizetype headerRoom);

} // namespace

Outcome<QByteArray> encodeRequest(const Request& request) {
    int entries = 2;
    switch (request.op) {
    case Operation::Hello:
        if (!textFits(request.nameSpace)) {
            return tooLong<QByteArray>();
        }
        entries += 2;
        break;
    case Operation::Open:
        if (!textFits(request.className) || !textFits(request.id)) {
            return tooLong<QByteArray>();
        }
        entries += 2;
        break;
    case Operation::ClassAccess:
        if (!textFits(request.className)) {
            return tooLong<QByteArray>();
        }
        entries += 1;
        break;
    case Operation::Get:
    case Operation::Call:
        if (!textFits(request.name)) {
            return tooLong<QByteArray>();
        }
        if (request.op == Operation::Call && request.args.size() > MaxArguments) {
            return Outcome<QByteArray>::failure(ErrorCode::TooManyArguments,
                                                QStringLiteral("%1 arguments; at most %2")
                                                    .arg(request.args.size())
                                                    .arg(MaxArguments));
        }
        entries += request.op == Operation::Call ? 3 : 2;
        break;
    case Operation::Close:
        entries += 1;
        break;
    case Operation::Bye:
        break;
    case Operation::SignIn:
        if (!textFits(request.company) || !textFits(request.user) || !textFits(request.password) ||
            !textFits(request.resume)) {
            return tooLong<QByteArray>();
        }
        entries += request.resume.isEmpty() ? 3 : 4;
        break;
    }
    QByteArray payload;
    payload.reserve(64 + request.className.size() + request.id.size() + request.name.size());
    CborWriter writer(payload);
    writer.startMap(entries);
    writer.text(KeyOp);
    writer.text(operationName(request.op));
    writer.text(KeySeq);
    writer.integer(request.seq);
    switch (request.op) {
    case Operation::Hello:
        writer.text(KeyVersion);
        writer.integer(request.version);
        writer.text(KeyNamespace);
        writer.text(request.nameSpace);
        break;
    case Operation::Open:
        writer.text(KeyClass);
        writer.text(request.className);
        writer.text(KeyId);
        writer.text(request.id);
        break;
    case Operation::ClassAccess:
        writer.text(KeyClass);
        writer.text(request.className);
        break;
    case Operation::Get:
    case Operation::Call:
        writer.text(KeyHandle);
        writer.integer(request.handle);
        writer.text(KeyName);
        writer.text(request.name);
        if (request.op == Operation::Call) {
            writer.text(KeyArgs);
            writer.startArray(static_cast<quint64>(request.args.size()));
            for (const QVariant& arg : request.args) {
                if (arg.typeId() == QMetaType::QString && !textFits(arg.toString())) {
                    return tooLong<QByteArray>();
                }
                if (!writer.value(arg)) {
                    return Outcome<QByteArray>::failure(
                        ErrorCode::UnsupportedValue,
                        QStringLiteral("argument of type %1").arg(arg.typeName()));
                }
            }
        }
        break;
    case Operation::Close:
        writer.text(KeyHandle);
        writer.integer(request.handle);
        break;
    case Operation::Bye:
        break;
    case Operation::SignIn:
        writer.text(KeyCompany);
        writer.text(request.company);
        writer.text(KeyUser);
        writer.text(request.user);
        writer.text(KeyPassword);
        writer.text(request.password);
        if (!request.resume.isEmpty()) {
            writer.text(KeyResume);
            writer.text(request.resume);
        }
        break;
    }
    return finish(std::move(payload), 0);
}

Outcome<QByteArray> encodeResponse(const Response& response) {
    return encodeResponseAfter(response, 0);
}

Outcome<QByteArray> encodeResponseFrame(const Response& response) {
    return encodeResponseAfter(response, FrameHeaderBytes);
}

namespace {

Outcome<QByteArray> encodeResponseAfter(const Response& response, qsizetype headerRoom) {
    // A kept reply brings its bytes along: they are copied, not encoded again.
    const EncodedText* encoded = response.ok ? EncodedText::in(response.value) : nullptr;
    const bool plainText = response.ok && !encoded && response.value.isValid() &&
                           !response.value.isNull() &&
                           response.value.typeId() == QMetaType::QString;
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
    }
    const bool withValue = encoded || plainText ||
                           (response.ok && response.value.isValid() && !response.value.isNull());
    const bool withHandle = response.ok && response.handle != 0;
    const bool withResume = response.ok && !response.resume.isEmpty();
    if (withResume && !textFits(response.resume)) {
        return tooLong<QByteArray>();
    }
    QByteArray bytes;
    bytes.reserve(
        headerRoom + 48 +
        (plainText ? 3 * static_cast<const QString*>(response.value.constData())->size() : 0) +
        (encoded ? encoded->cbor.size() : 0) + (response.ok ? 0 : 3 * response.errorText.size()) +
        response.resume.size());
    bytes.resize(headerRoom);
    CborWriter writer(bytes);
    writer.startMap(
        response.ok ? 2 + (withHandle ? 1 : 0) + (withValue ? 1 : 0) + (withResume ? 1 : 0) : 4);
    writer.text(KeySeq);
    writer.integer(response.seq);
    writer.text(KeyOk);
    writer.boolean(response.ok);
    if (!response.ok) {
        writer.text(KeyError);
        writer.integer(response.errorNumber);
        writer.text(KeyText);
        writer.text(response.errorText);
    } else {
        if (withHandle) {
            writer.text(KeyHandle);
            writer.integer(response.handle);
        }
        if (encoded) {
            writer.text(KeyValue);
            bytes.append(encoded->cbor);
        } else if (withValue) {
            writer.text(KeyValue);
            if (!writer.value(response.value)) {
                return Outcome<QByteArray>::failure(
                    ErrorCode::UnsupportedValue,
                    QStringLiteral("reply value of type %1").arg(response.value.typeName()));
            }
        }
        if (withResume) {
            writer.text(KeyResume);
            writer.text(response.resume);
        }
    }
    return finish(std::move(bytes), headerRoom);
}

} // namespace

Outcome<Request> decodeRequest(QByteArrayView payload) {
    const CborMessage message(payload);
    if (const auto problem = notAMessage(message)) {
        return Outcome<Request>::failure(problem->first, problem->second);
    }
    FieldReader fields(message);
    Request request;
    const std::optional<CborMessage::Item> opName = message.field(KeyOp);
    if (!opName || !opName->isText()) {
        fields.text(KeyOp); // says what is wrong
    }
    request.seq = fields.optionalInteger(KeySeq);
    if (fields.failed()) {
        return Outcome<Request>::failure(ErrorCode::MalformedMessage, fields.problem());
    }
    const std::optional<Operation> op = operationNamed(*opName);
    if (!op) {
        return Outcome<Request>::failure(
            ErrorCode::UnknownOperation,
            QStringLiteral("operation \"%1\"").arg(opName->toText().left(40)));
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
        const std::optional<CborMessage::Item> args = message.field(KeyArgs);
        if (!args) {
            break;
        }
        if (!args->isArray()) {
            return Outcome<Request>::failure(ErrorCode::MalformedMessage,
                                             QStringLiteral("\"args\" must be an array"));
        }
        const QList<CborMessage::Item> list = args->elements();
        if (list.size() > MaxArguments) {
            return Outcome<Request>::failure(
                ErrorCode::TooManyArguments,
                QStringLiteral("%1 arguments; at most %2").arg(list.size()).arg(MaxArguments));
        }
        for (const CborMessage::Item& item : list) {
            std::optional<QVariant> value = item.toValue();
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
        if (fields.contains(KeyResume)) {
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
    const CborMessage message(payload);
    if (const auto problem = notAMessage(message)) {
        return Outcome<Response>::failure(problem->first, problem->second);
    }
    FieldReader fields(message);
    Response response;
    response.seq = fields.optionalInteger(KeySeq);
    const std::optional<CborMessage::Item> ok = message.field(KeyOk);
    if (!ok || !ok->isBool()) {
        return Outcome<Response>::failure(ErrorCode::MalformedMessage,
                                          QStringLiteral("\"ok\" must be a Boolean"));
    }
    response.ok = ok->kind() == CborMessage::Item::Kind::True;
    if (response.ok) {
        response.handle = fields.optionalInteger(KeyHandle);
        const std::optional<CborMessage::Item> value = message.field(KeyValue);
        if (value) {
            std::optional<QVariant> converted = value->toValue();
            if (!converted) {
                return Outcome<Response>::failure(
                    ErrorCode::MalformedMessage,
                    QStringLiteral("\"value\" must be null, Boolean, integer, double or text"));
            }
            response.value = *converted;
        }
        if (fields.contains(KeyResume)) {
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
