#pragma once

#include "protocol/ErrorCodes.h"

#include <QString>

#include <optional>
#include <utility>

namespace protocol {

// The outcome of encoding or decoding: a value, or the error number and a text that says
// what was wrong.
template <typename T> class Outcome {
public:
    static Outcome success(T value) {
        Outcome o;
        o.m_value = std::move(value);
        return o;
    }
    static Outcome failure(ErrorCode code, QString text) {
        Outcome o;
        o.m_error = code;
        o.m_errorText = std::move(text);
        return o;
    }

    bool ok() const { return m_value.has_value(); }
    const T& value() const { return *m_value; }
    T& value() { return *m_value; }
    ErrorCode error() const { return m_error; }
    const QString& errorText() const { return m_errorText; }

private:
    Outcome() = default;
    std::optional<T> m_value;
    ErrorCode m_error = ErrorCode::MalformedMessage;
    QString m_errorText;
};

} // namespace protocol
