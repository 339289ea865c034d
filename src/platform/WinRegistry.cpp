#include "platform/WinRegistry.h"

#include <windows.h>

namespace {
HKEY toKey(std::uintptr_t handle) {
    return reinterpret_cast<HKEY>(handle);
}

// The predefined roots are negative 32-bit numbers that the system widens with their sign.
HKEY toRootKey(std::uint32_t root) {
    return reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<std::int32_t>(root)));
}
} // namespace

long WinRegistry::openKey(std::uint32_t root, const QString& path, std::uint32_t access,
                          std::uintptr_t& handle) {
    HKEY key = nullptr;
    const QByteArray narrowPath = path.toLocal8Bit();
    const LONG result = RegOpenKeyExA(toRootKey(root), narrowPath.constData(), 0,
                                      static_cast<REGSAM>(access), &key);
    if (result == ERROR_SUCCESS) {
        handle = reinterpret_cast<std::uintptr_t>(key);
    }
    return result;
}

long WinRegistry::queryValue(std::uintptr_t handle, const QString& name, std::uint32_t& type,
                             QByteArray& data, std::uint32_t& size) {
    // The call writes at most size bytes; make sure the buffer really has them.
    if (static_cast<std::uint32_t>(data.size()) < size) {
        data.resize(static_cast<qsizetype>(size));
    }
    const QByteArray narrowName = name.toLocal8Bit();
    DWORD valueType = 0;
    DWORD valueSize = size;
    const LONG result = RegQueryValueExA(toKey(handle), narrowName.constData(), nullptr, &valueType,
                                         reinterpret_cast<LPBYTE>(data.data()), &valueSize);
    if (result == ERROR_SUCCESS) {
        type = valueType;
    }
    size = valueSize;
    return result;
}

long WinRegistry::closeKey(std::uintptr_t handle) {
    return RegCloseKey(toKey(handle));
}
