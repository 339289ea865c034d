#pragma once

#include "objectclient/CacheError.h"

#include <functional>

// The number of the CacheError a call of the client library throws; 0 when it succeeds.
inline int errorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const CacheError& error) {
        return error.number();
    }
    return 0;
}
