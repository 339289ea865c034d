#pragma once

#include "objectclient/CacheValue.h"

#include <QList>
#include <QString>

#include <memory>

// An object opened on the server, or a handle on a class for its class methods.
// Every call may throw CacheError. Dropping the last reference releases it on the server,
// also when sysClose() was never called.
class CacheObject {
public:
    virtual ~CacheObject() = default;

    virtual CacheValue property(const QString& name) = 0;
    // A method of an object, or a class method of a class handle.
    virtual CacheValue call(const QString& method, const QList<CacheValue>& args = {}) = 0;
    // SYS_Close: releases the object on the server; later calls fail.
    virtual void sysClose() = 0;
};

using CacheObjectPtr = std::shared_ptr<CacheObject>;
