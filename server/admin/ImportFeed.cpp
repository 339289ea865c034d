#include "ImportFeed.h"

#include "AdminInput.h"
#include "ServerError.h"
#include "Store.h"
#include "ValueText.h"

#include <QTextStream>

#include <utility>

namespace {

// A block longer than the longest import there can be is no block.
constexpr qsizetype kMaxBlockLines = kMaxRegisterRecords + 1;

} // namespace

ImportFeed::ImportFeed(Store& store, LineSource nextLine, QTextStream& out)
    : m_store(store)
    , m_nextLine(std::move(nextLine))
    , m_out(out) {
}

int ImportFeed::run() {
    while (const std::optional<QString> line = m_nextLine()) {
        const QString head = line->trimmed();
        if (head.isEmpty() || head.startsWith(QLatin1Char('#'))) {
            continue;
        }
        m_out << importBlock(head) << '\n';
        m_out.flush(); // the feeder waits for it
    }
    return 0;
}

QString ImportFeed::importBlock(const QString& head) {
    QStringList lines;
    bool ended = false;
    bool decodable = true;
    // The whole block is read before anything is checked, so that a refused one leaves the
    // feed at the start of the next.
    while (const std::optional<QString> line = m_nextLine()) {
        const QString trimmed = line->trimmed();
        if (trimmed == QLatin1String(".")) {
            ended = true;
            break;
        }
        decodable = decodable && !trimmed.contains(QChar::ReplacementCharacter);
        if (!trimmed.isEmpty() && !trimmed.startsWith(QLatin1Char('#')) &&
            lines.size() <= kMaxBlockLines) {
            lines.append(trimmed);
        }
    }
    const QStringList words = head.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const std::optional<qint64> firma = wholeNumber(words.value(1));
    const std::optional<qint64> filiale = wholeNumber(words.value(2));
    const QString kind = words.value(0);
    if (!ended) {
        return QStringLiteral("error: the block \"%1\" has no line \".\" before the end")
            .arg(escapedControls(head.left(80)));
    }
    if (words.size() != 3 || !firma || !filiale || *firma < 0 || *filiale < 0 ||
        (kind != QLatin1String("registers") && kind != QLatin1String("clocks"))) {
        return QStringLiteral("error: \"%1\" is no head line (registers|clocks FIRMA BRANCH)")
            .arg(escapedControls(head.left(80)));
    }
    if (!decodable) {
        return QStringLiteral("error: %1: not UTF-8 text; nothing imported").arg(head);
    }
    if (lines.isEmpty()) {
        // An empty block is more often a failed export than a branch closed down.
        return QStringLiteral("error: %1: no record; the branch keeps its records").arg(head);
    }
    try {
        qsizetype count = 0;
        if (kind == QLatin1String("registers")) {
            const QList<RegisterRecord> records = registerRecords(lines, *firma, *filiale);
            m_store.inBranchTransaction(
                *firma, *filiale, [&] { m_store.replaceRegisters(*firma, *filiale, records); });
            count = records.size();
        } else {
            const QList<ClockRecord> clocks = clockRecords(lines, *firma, *filiale);
            m_store.inBranchTransaction(*firma, *filiale,
                                        [&] { m_store.replaceClocks(*firma, *filiale, clocks); });
            count = clocks.size();
        }
        return QStringLiteral("ok %1 %2").arg(head).arg(count);
    } catch (const InputError& error) {
        return QStringLiteral("error: %1: %2").arg(head, error.text);
    } catch (const ServerError& error) {
        return QStringLiteral("error %1: %2: %3").arg(error.number()).arg(head, error.text());
    }
}
