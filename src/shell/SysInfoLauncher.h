#pragma once

#include "platform/Platform.h"

#include <QString>

#include <cstdint>

// Finds the system-information program through two local-machine registry values and starts
// it, or tells the user that it is unavailable. Knows nothing of windows, so the about box
// stays a thin shell around it.
class SysInfoLauncher {
public:
    static constexpr std::uint32_t kAllAccess = 0x2003F;
    static constexpr std::uint32_t kBufferSize = 1024;
    static constexpr std::uint32_t kTypeText = 1;
    static constexpr std::uint32_t kTypeNumber = 4;

    explicit SysInfoLauncher(Platform& platform);

    // Starts the program named by the registry without waiting for it; on any failure shows
    // "Systeminformationen sind momentan nicht verfügbar".
    void StartSysInfo();

    // Reads one value into keyValue: text values as they are, 32-bit numbers as "&h" hex text,
    // other types leave keyValue untouched. Returns false (keyValue emptied) when the key or
    // value cannot be read. A value without any data throws std::runtime_error. The key is
    // closed on every way out.
    bool GetKeyValue(std::uint32_t keyRoot, const QString& keyName, const QString& valueName,
                     QString& keyValue);

    // Hex text of the bytes, last byte first, two digits each: "&h" + digits.
    static QString numberText(const QByteArray& bytes);

private:
    void showUnavailable();

    Platform& m_platform;
};
