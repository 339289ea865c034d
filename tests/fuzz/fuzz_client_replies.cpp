// Feeds what a server may answer through the monitor's reply handling: a reply (as text, or as a
// decoded response whose value becomes text) into the rows of both monitors and the attention
// they get, the exact decimals and lenient numbers of those rows, and the personnel values the
// sign-in reads back (rights group, user name field, the work-context command). Besides
// "no crash", each step checks what must hold for any input.
#include "access/GetField.h"
#include "access/ServerCommand.h"
#include "monitors/ClockRows.h"
#include "monitors/Decimal.h"
#include "monitors/LenientNumber.h"
#include "monitors/MonitorKind.h"
#include "monitors/RegisterFold.h"
#include "monitors/ReplyFields.h"
#include "objectclient/CacheError.h"
#include "objectclient/CacheValue.h"
#include "protocol/MessageCodec.h"
#include "signin/RightsGroup.h"

#include "ServerError.h"
#include "XecuteParser.h"

#include <QLocale>
#include <QTime>

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Formats whose separators and signs differ from "." and "-" in every way that matters here.
QLocale pickLocale(FuzzedDataProvider& input) {
    static const QList<QLocale> locales{
        QLocale::c(),
        QLocale(QLocale::German, QLocale::Germany),
        QLocale(QLocale::English, QLocale::UnitedStates),
        QLocale(QLocale::French, QLocale::Switzerland),
        QLocale(QLocale::Arabic, QLocale::Egypt),
        QLocale(QLocale::Swedish, QLocale::Sweden),
    };
    return locales.at(input.ConsumeIntegralInRange<qsizetype>(0, locales.size() - 1));
}

QString consumeText(FuzzedDataProvider& input, size_t maxBytes) {
    return QString::fromStdString(input.ConsumeRandomLengthString(maxBytes));
}

// The reply as the client gets it: the value of a decoded response, or the bytes as UTF-8.
QString consumeReply(FuzzedDataProvider& input) {
    const std::string bytes = input.ConsumeRandomLengthString(64 * 1024);
    const QByteArrayView payload(bytes.data(), static_cast<qsizetype>(bytes.size()));
    const protocol::Outcome<protocol::Response> response = protocol::decodeResponse(payload);
    if (response.ok()) {
        return cacheValueToText(response.value().value);
    }
    return QString::fromUtf8(payload);
}

void checkFields(const QString& reply) {
    const QStringList fields = cutReply(reply);
    require(reply.isEmpty() ? fields.isEmpty() : fields.join(u'|') == reply);
}

void checkRegisters(const QString& reply, const QLocale& locale) {
    const RegisterFold fold(locale);
    const QStringList fields = cutReply(reply);
    const QList<RegisterRow> rows = fold.fold(fields);
    // A last record cut short still makes or changes a row.
    require(rows.size() <= std::min<qsizetype>((fields.size() + 3) / 4, RegisterFold::kMaxRecords));
    require(fold.rows(reply).size() == rows.size());
    for (const RegisterRow& row : rows) {
        (void)sumText(row.sum, locale);
    }
}

void checkClocks(const QString& reply, const QLocale& locale, QTime now) {
    const QList<QStringList> rows = ClockRows(locale).rows(reply);
    require(rows.size() <= ClockRows::kClocks);
    RowAttention attention(RowAttention::Rule::Clocks, locale);
    require(attention.assess(rows, now).size() == rows.size());
}

void checkAttentionOnRegisters(const QString& reply, const QLocale& locale, QTime now,
                               QTime later) {
    const QList<QStringList> rows = MonitorKind::kassa().rowsOf(reply, locale);
    RowAttention attention(RowAttention::Rule::Registers, locale);
    require(attention.assess(rows, now).size() == rows.size());
    require(attention.assess(rows, later).size() == rows.size());
}

// A decimal written out reads back as itself, and a - b is exactly -(b - a).
void checkDecimals(const QString& first, const QString& second, const QLocale& locale, int power) {
    const std::optional<Decimal> a = Decimal::parse(first, locale);
    const std::optional<Decimal> b = Decimal::parse(second, locale);
    for (const std::optional<Decimal>& d : {a, b}) {
        if (!d) {
            continue;
        }
        const std::optional<Decimal> again = Decimal::parse(d->toString(locale), locale);
        require(again && again->mantissa() == d->mantissa() && again->scale() == d->scale() &&
                again->isNegative() == d->isNegative());
        (void)d->roundedTimesPowerOfTen(power);
    }
    if (!a || !b) {
        return;
    }
    const std::optional<Decimal> ab = a->minus(*b);
    const std::optional<Decimal> ba = b->minus(*a);
    require(ab.has_value() == ba.has_value());
    if (ab) {
        require(ab->mantissa() == ba->mantissa() && ab->scale() == ba->scale());
        require(ab->mantissa() == Decimal::Mantissa{} || ab->isNegative() != ba->isNegative());
    }
}

void checkNumbers(const QString& text, double value, const QLocale& locale) {
    const double read = leadingNumber(text);
    require(std::isfinite(read));
    if (std::isfinite(value)) {
        const QString shown = sumText(value, locale);
        require(!shown.isEmpty() && shown != QLatin1String("-0"));
    }
}

// The sign-in's values: whatever the server stores as a user code cannot leave its string in
// the work-context command, and the name field of "code|name" never holds the separator.
void checkSignInValues(const QString& firma, const QString& filiale, const QString& code,
                       const QString& stored, const QLocale& locale, int field) {
    (void)rightsGroupPasses(stored, locale);
    require(!GetField(stored, QStringLiteral("|"), field, QString()).contains(u'|'));
    QString command;
    try {
        command = buildWorkContextCommand(firma, filiale, code);
    } catch (const CacheError&) {
        return; // refused before anything is sent
    }
    QList<XecuteCommand> commands;
    try {
        commands = XecuteParser::parse(command);
    } catch (const ServerError&) {
        return; // refused by the server as a whole, which is no injection either
    }
    require(commands.size() == 1 && commands[0].kind == XecuteCommand::Kind::Set);
    const auto& assignments = commands[0].assignments;
    require(assignments.size() == 3 && assignments[2].first == QLatin1String("PERSONAL") &&
            assignments[2].second == QVariant(code));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const QLocale locale = pickLocale(input);
    const QTime now =
        QTime::fromMSecsSinceStartOfDay(input.ConsumeIntegralInRange<int>(0, 24 * 3600 * 1000 - 1));
    const QTime later = now.addMSecs(input.ConsumeIntegralInRange<int>(0, 24 * 3600 * 1000));
    const int power = input.ConsumeIntegralInRange<int>(0, 40);
    const int field = input.ConsumeIntegralInRange<int>(-1, 4);
    const double value = input.ConsumeFloatingPoint<double>();
    const QString first = consumeText(input, 64);
    const QString second = consumeText(input, 64);
    const QString firma = input.ConsumeBool() ? QStringLiteral("1") : consumeText(input, 24);
    const QString filiale = input.ConsumeBool() ? QStringLiteral("0") : consumeText(input, 24);
    const QString code = consumeText(input, 128);
    const QString reply = consumeReply(input);

    checkFields(reply);
    checkRegisters(reply, locale);
    checkAttentionOnRegisters(reply, locale, now, later);
    checkClocks(reply, locale, now);
    checkDecimals(first, second, locale, power);
    checkNumbers(first, value, locale);
    checkSignInValues(firma, filiale, code, second, locale, field);
    return 0;
}
