#include "objectclient/CacheError.h"

CacheError::CacheError(int number, const QString& description)
    : std::runtime_error(description.toStdString())
    , m_number(number)
    , m_description(description) {
}
