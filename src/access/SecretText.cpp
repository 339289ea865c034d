#include "access/SecretText.h"

#include <sodium.h>

#include <atomic>

namespace {

quint64 nextSerial() {
    static std::atomic<quint64> serial{0};
    return ++serial;
}

} // namespace

SecretText::~SecretText() {
    wipe(m_text);
}

bool SecretText::equals(const QString& text) const {
    return text.size() == m_text.size() &&
           sodium_memcmp(text.constData(), m_text.constData(),
                         static_cast<size_t>(text.size()) * sizeof(QChar)) == 0;
}

SecretText& SecretText::operator=(const QString& text) {
    if (equals(text)) {
        return *this;
    }
    wipe(m_text);
    // A deep copy: sharing the caller's buffer would leave the wipe to a copy.
    m_text = QString(text.constData(), text.size());
    m_serial = nextSerial();
    return *this;
}

QString SecretText::reveal() const {
    return QString(m_text.constData(), m_text.size());
}

void SecretText::clear() {
    if (!m_text.isEmpty()) {
        wipe(m_text);
        m_serial = nextSerial();
    }
}

void SecretText::wipe(char* bytes, std::size_t size) {
    sodium_memzero(bytes, size);
}

void SecretText::wipe(QString& text) {
    if (text.isEmpty()) {
        return;
    }
    QChar* characters = text.data(); // detaches a shared buffer first
    sodium_memzero(characters, static_cast<size_t>(text.size()) * sizeof(QChar));
    text.clear();
}
