#include "monitors/RowHistory.h"

#include <algorithm>

RowHistory::RowHistory(QList<int> columns, QLocale locale)
    : m_columns(std::move(columns))
    , m_locale(std::move(locale)) {
}

void RowHistory::record(const QList<QStringList>& rows) {
    ++m_records;
    for (const QStringList& cells : rows) {
        const QString key = cells.value(0);
        auto found = m_rows.find(key);
        if (found == m_rows.end()) {
            if (m_rows.size() >= kMaxRows) {
                dropOldestRow();
            }
            found = m_rows.insert(key, Row{QList<std::deque<float>>(m_columns.size()), 0});
        }
        found->lastSeen = m_records;
        for (qsizetype s = 0; s < m_columns.size(); ++s) {
            bool ok = false;
            const QString cell = cells.value(m_columns.at(s)).trimmed();
            // Shown in the user's format, or as the server sent it.
            double value = m_locale.toDouble(cell, &ok);
            if (!ok) {
                value = QLocale::c().toDouble(cell, &ok);
            }
            if (!ok) {
                continue;
            }
            std::deque<float>& series = found->series[s];
            series.push_back(static_cast<float>(value));
            while (series.size() > static_cast<size_t>(m_length)) {
                series.pop_front();
            }
        }
    }
}

QList<double> RowHistory::values(const QString& key, int series) const {
    QList<double> result;
    const auto found = m_rows.constFind(key);
    if (found == m_rows.constEnd() || series < 0 || series >= found->series.size()) {
        return result;
    }
    const std::deque<float>& kept = found->series.at(series);
    result.reserve(static_cast<qsizetype>(kept.size()));
    for (float value : kept) {
        result << value;
    }
    return result;
}

void RowHistory::setLength(int length) {
    m_length = std::clamp(length, kMinLength, kMaxLength);
    for (Row& row : m_rows) {
        for (std::deque<float>& series : row.series) {
            while (series.size() > static_cast<size_t>(m_length)) {
                series.pop_front();
            }
        }
    }
}

void RowHistory::dropOldestRow() {
    auto oldest = std::min_element(m_rows.begin(), m_rows.end(), [](const Row& a, const Row& b) {
        return a.lastSeen < b.lastSeen;
    });
    if (oldest != m_rows.end()) {
        m_rows.erase(oldest);
    }
}
