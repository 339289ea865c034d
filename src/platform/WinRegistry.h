#pragma once

#include "platform/Registry.h"

// The Windows registry through the narrow-character functions of advapi32.
class WinRegistry : public Registry {
public:
    WinRegistry() = default;

    long openKey(std::uint32_t root, const QString& path, std::uint32_t access,
                 std::uintptr_t& handle) override;
    long queryValue(std::uintptr_t handle, const QString& name, std::uint32_t& type,
                    QByteArray& data, std::uint32_t& size) override;
    long closeKey(std::uintptr_t handle) override;
};
