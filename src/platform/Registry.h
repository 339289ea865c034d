#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// The system registry as the classic narrow-character functions see it. Return codes follow
// them: 0 is success, anything else a failure (234 = more data than the buffer holds).
class Registry {
public:
    static constexpr std::uint32_t LocalMachine = 0x80000002u;
    static constexpr std::uint32_t CurrentUser = 0x80000001u;
    static constexpr long Success = 0;
    static constexpr long FileNotFound = 2;
    static constexpr long MoreData = 234;

    virtual ~Registry() = default;
    virtual long openKey(std::uint32_t root, const QString& path, std::uint32_t access,
                         std::uintptr_t& handle) = 0;
    // On entry size is the buffer's size in bytes; on success type, data and size are set.
    virtual long queryValue(std::uintptr_t handle, const QString& name, std::uint32_t& type,
                            QByteArray& data, std::uint32_t& size) = 0;
    virtual long closeKey(std::uintptr_t handle) = 0;
};
