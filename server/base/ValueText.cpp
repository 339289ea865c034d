#include "ValueText.h"

#include <QLocale>

QString valueText(const QVariant& value) {
    if (!value.isValid() || value.isNull()) {
        return {};
    }
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::Double:
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    default:
        return value.toString();
    }
}

std::optional<qint64> wholeNumber(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
        return value.toLongLong();
    case QMetaType::QString: {
        const QString text = value.toString();
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text.at(i);
            if (!(c.isDigit() && c.unicode() < 128) && !(i == 0 && c == QLatin1Char('-'))) {
                return std::nullopt;
            }
        }
        bool ok = false;
        const qint64 number = text.toLongLong(&ok);
        return ok ? std::optional<qint64>(number) : std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

QString escapedControls(const QString& text, bool keepBackslashes) {
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code == u'\\' && !keepBackslashes) {
            shown += QLatin1String("\\\\");
        } else if (code == u'\n') {
            shown += QLatin1String("\\n");
        } else if (code == u'\r') {
            shown += QLatin1String("\\r");
        } else if (code == u'\t') {
            shown += QLatin1String("\\t");
        } else if (code < 0x20 || (code >= 0x7f && code <= 0x9f)) {
            // C0, DEL and C1: a terminal reads 0x9b as the start of a control sequence.
            shown += QStringLiteral("\\x%1").arg(int(code), 2, 16, QLatin1Char('0'));
        } else {
            shown += c;
        }
    }
    return shown;
}
