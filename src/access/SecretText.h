#pragma once

#include <QString>

#include <cstddef>

// A password held in memory: one copy, in a buffer of its own that is wiped when the text is
// replaced and when the holder goes away. Each change gets a new serial, so that a caller can
// remember which password it used without keeping a copy of it.
class SecretText {
public:
    SecretText() = default;
    ~SecretText();
    SecretText(const SecretText&) = delete;
    SecretText& operator=(const SecretText&) = delete;

    // Takes a copy of text into a buffer of its own; the same text again changes nothing.
    SecretText& operator=(const QString& text);
    // A copy for the one call that needs the password; the caller wipes it after the call.
    QString reveal() const;
    bool isEmpty() const { return m_text.isEmpty(); }
    quint64 serial() const { return m_serial; }
    void clear();
    // Compares without a copy, in time that does not depend on where the texts differ.
    bool equals(const QString& text) const;
    friend bool operator==(const SecretText& secret, const QString& text) {
        return secret.equals(text);
    }

    // Overwrites the characters of text (its own buffer, after detaching) and empties it.
    static void wipe(QString& text);
    // Overwrites size bytes at bytes, in a way the compiler cannot leave out.
    static void wipe(char* bytes, std::size_t size);

private:
    QString m_text;
    quint64 m_serial = 0;
};
