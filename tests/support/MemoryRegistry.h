#pragma once

#include "platform/Registry.h"

#include <QMap>
#include <QSet>

// An in-memory registry: keys by (root, path), values by name with their type and raw bytes.
class MemoryRegistry : public Registry {
public:
    struct Value {
        std::uint32_t type = 1;
        QByteArray data;
    };

    long openKey(std::uint32_t root, const QString& path, std::uint32_t access,
                 std::uintptr_t& handle) override;
    long queryValue(std::uintptr_t handle, const QString& name, std::uint32_t& type,
                    QByteArray& data, std::uint32_t& size) override;
    long closeKey(std::uintptr_t handle) override;

    void setValue(std::uint32_t root, const QString& path, const QString& name, Value value);
    int openHandles() const { return static_cast<int>(m_open.size()); }

    int closeCalls = 0;
    bool denyOpen = false; // as for a user without full access

private:
    static QString keyName(std::uint32_t root, const QString& path);
    QMap<QString, QMap<QString, Value>> m_keys;
    QMap<std::uintptr_t, QString> m_open;
    std::uintptr_t m_nextHandle = 100;
};
