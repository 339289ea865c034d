#pragma once

#include <QByteArray>
#include <QLatin1StringView>
#include <QStringView>
#include <QVariant>

namespace protocol {

// Writes CBOR items straight onto the end of a byte array, each in its shortest head, texts in
// UTF-8: the bytes Qt's own CBOR writer makes for the same items, without the device it writes
// through.
class CborWriter {
public:
    explicit CborWriter(QByteArray& out)
        : m_out(out) {}

    void startMap(quint64 entries) { head(5, entries); }
    void startArray(quint64 elements) { head(4, elements); }
    void integer(qint64 value);
    void boolean(bool value) { *grow(1) = char(value ? 0xf5 : 0xf4); }
    void null() { *grow(1) = char(0xf6); }
    void real(double value);
    void text(QStringView text);
    void text(QLatin1StringView text); // ASCII only: keys
    // A wire value (see CborMessage::Item::toValue); false, writing nothing, for any other kind
    // (a date, a list, an unsigned number above the signed range, ...).
    bool value(const QVariant& value);

private:
    void head(quint8 major, quint64 argument);
    // Room for count more bytes at the end, to be written at once (appending piece by piece
    // costs more than the encoding itself).
    char* grow(qsizetype count) {
        const qsizetype at = m_out.size();
        m_out.resize(at + count);
        return m_out.data() + at;
    }

    QByteArray& m_out;
};

} // namespace protocol
