#include "ServerError.h"

ServerError::ServerError(int number, const QString& text)
    : std::runtime_error(text.toStdString())
    , m_number(number)
    , m_text(text) {
}
