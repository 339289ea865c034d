#pragma once

#include <QStringView>

#include <optional>

// Reads the fields of a reply one after the other, as views into it: the same fields as
// cutReply() (an empty reply has none, "a|" has "a" and ""), without a string per field.
// The reply must outlive the reader and its views.
class ReplyFieldReader {
public:
    explicit ReplyFieldReader(QStringView reply)
        : m_rest(reply)
        , m_done(reply.isEmpty()) {}

    // The next field, or nothing after the last one.
    std::optional<QStringView> next() {
        if (m_done) {
            return std::nullopt;
        }
        const qsizetype bar = m_rest.indexOf(u'|');
        if (bar < 0) {
            m_done = true;
            return m_rest;
        }
        const QStringView field = m_rest.first(bar);
        m_rest = m_rest.sliced(bar + 1);
        return field;
    }

private:
    QStringView m_rest;
    bool m_done;
};
