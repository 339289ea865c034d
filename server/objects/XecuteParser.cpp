#include "XecuteParser.h"

#include "ServerError.h"

#include "protocol/AsciiDigit.h"

namespace {

bool isAsciiLetter(QChar c) {
    return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
           (c >= QLatin1Char('a') && c <= QLatin1Char('z'));
}

class Reader {
public:
    explicit Reader(const QString& line)
        : m_line(line) {}

    QList<XecuteCommand> commands() {
        if (m_line.size() > XecuteParser::kMaxLineLength) {
            fail(
                QStringLiteral("line longer than %1 characters").arg(XecuteParser::kMaxLineLength));
        }
        QList<XecuteCommand> result;
        result.append(command());
        while (!atEnd()) {
            expect(QLatin1Char(' '), QStringLiteral("blank between commands expected"));
            result.append(command());
        }
        return result;
    }

private:
    XecuteCommand command() {
        const qsizetype start = m_pos;
        while (!atEnd() && isAsciiLetter(peek())) {
            ++m_pos;
        }
        const QString word = m_line.mid(start, m_pos - start).toUpper();
        XecuteCommand result;
        if (word == QLatin1String("S") || word == QLatin1String("SET")) {
            result.kind = XecuteCommand::Kind::Set;
            expect(QLatin1Char(' '), QStringLiteral("blank after command expected"));
            result.assignments.append(assignment());
            while (!atEnd() && peek() == QLatin1Char(',')) {
                ++m_pos;
                result.assignments.append(assignment());
            }
        } else if (word == QLatin1String("D") || word == QLatin1String("DO")) {
            result.kind = XecuteCommand::Kind::Do;
            expect(QLatin1Char(' '), QStringLiteral("blank after command expected"));
            expect(QLatin1Char('^'), QStringLiteral("routine reference ^name expected"));
            result.routine = name();
        } else {
            m_pos = start;
            fail(QStringLiteral("unknown command"));
        }
        return result;
    }

    QPair<QString, QVariant> assignment() {
        QString variable = name();
        expect(QLatin1Char('='), QStringLiteral("\"=\" expected"));
        if (atEnd()) {
            fail(QStringLiteral("value expected"));
        }
        if (peek() == QLatin1Char('"')) {
            return {variable, string()};
        }
        return {variable, number()};
    }

    QString name() {
        const qsizetype start = m_pos;
        if (!atEnd() && peek() == QLatin1Char('%')) {
            ++m_pos;
        }
        if (atEnd() || !isAsciiLetter(peek())) {
            fail(QStringLiteral("name expected"));
        }
        while (!atEnd() && (isAsciiLetter(peek()) || isAsciiDigit(peek()))) {
            ++m_pos;
        }
        if (m_pos - start > XecuteParser::kMaxNameLength) {
            m_pos = start;
            fail(
                QStringLiteral("name longer than %1 characters").arg(XecuteParser::kMaxNameLength));
        }
        return m_line.mid(start, m_pos - start);
    }

    QString string() {
        ++m_pos; // opening quote
        QString text;
        while (true) {
            if (atEnd()) {
                fail(QStringLiteral("closing quote missing"));
            }
            const QChar c = m_line.at(m_pos++);
            if (c != QLatin1Char('"')) {
                text.append(c);
            } else if (!atEnd() && peek() == QLatin1Char('"')) {
                text.append(c);
                ++m_pos;
            } else {
                return text;
            }
        }
    }

    QVariant number() {
        const qsizetype start = m_pos;
        bool negative = false;
        if (peek() == QLatin1Char('-')) {
            negative = true;
            ++m_pos;
        }
        const QString whole = digits();
        QString fraction;
        if (!atEnd() && peek() == QLatin1Char('.')) {
            ++m_pos;
            fraction = digits();
            if (fraction.isEmpty()) {
                fail(QStringLiteral("digits after \".\" expected"));
            }
        }
        if (whole.isEmpty() && fraction.isEmpty()) {
            m_pos = start;
            fail(QStringLiteral("number or quoted string expected"));
        }
        QString canonicalWhole = whole;
        while (canonicalWhole.startsWith(QLatin1Char('0'))) {
            canonicalWhole.remove(0, 1);
        }
        while (fraction.endsWith(QLatin1Char('0'))) {
            fraction.chop(1);
        }
        if (canonicalWhole.size() + fraction.size() > XecuteParser::kMaxNumberDigits) {
            m_pos = start;
            fail(QStringLiteral("number with more than %1 digits")
                     .arg(XecuteParser::kMaxNumberDigits));
        }
        if (fraction.isEmpty()) {
            const qint64 value = canonicalWhole.isEmpty() ? 0 : canonicalWhole.toLongLong();
            return QVariant::fromValue<qint64>(negative ? -value : value);
        }
        const QString text = (negative ? QStringLiteral("-") : QString()) +
                             (canonicalWhole.isEmpty() ? QStringLiteral("0") : canonicalWhole) +
                             QLatin1Char('.') + fraction;
        return text.toDouble();
    }

    QString digits() {
        const qsizetype start = m_pos;
        while (!atEnd() && isAsciiDigit(peek())) {
            ++m_pos;
        }
        return m_line.mid(start, m_pos - start);
    }

    void expect(QChar c, const QString& message) {
        if (atEnd() || peek() != c) {
            fail(message);
        }
        ++m_pos;
    }

    [[noreturn]] void fail(const QString& message) const {
        throw ServerError(ServerErrorNumber::Syntax,
                          QStringLiteral("<SYNTAX> column %1: %2").arg(m_pos + 1).arg(message));
    }

    bool atEnd() const { return m_pos >= m_line.size(); }
    QChar peek() const { return m_line.at(m_pos); }

    const QString& m_line;
    qsizetype m_pos = 0;
};

} // namespace

QList<XecuteCommand> XecuteParser::parse(const QString& line) {
    return Reader(line).commands();
}
