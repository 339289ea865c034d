#include "MemoryRegistry.h"

long MemoryRegistry::openKey(std::uint32_t root, const QString& path, std::uint32_t,
                             std::uintptr_t& handle) {
    const QString name = keyName(root, path);
    if (denyOpen) {
        return 5; // access denied
    }
    if (!m_keys.contains(name)) {
        return FileNotFound;
    }
    handle = m_nextHandle++;
    m_open.insert(handle, name);
    return Success;
}

long MemoryRegistry::queryValue(std::uintptr_t handle, const QString& name, std::uint32_t& type,
                                QByteArray& data, std::uint32_t& size) {
    if (!m_open.contains(handle)) {
        return 6; // invalid handle
    }
    const auto& values = m_keys[m_open.value(handle)];
    if (!values.contains(name)) {
        return FileNotFound;
    }
    const Value& value = values.value(name);
    if (static_cast<std::uint32_t>(value.data.size()) > size) {
        size = static_cast<std::uint32_t>(value.data.size());
        return MoreData;
    }
    type = value.type;
    data = value.data;
    size = static_cast<std::uint32_t>(value.data.size());
    return Success;
}

long MemoryRegistry::closeKey(std::uintptr_t handle) {
    ++closeCalls;
    return m_open.remove(handle) > 0 ? Success : 6;
}

void MemoryRegistry::setValue(std::uint32_t root, const QString& path, const QString& name,
                              Value value) {
    m_keys[keyName(root, path)].insert(name, std::move(value));
}

QString MemoryRegistry::keyName(std::uint32_t root, const QString& path) {
    return QString::number(root, 16) + '\\' + path.toLower();
}
