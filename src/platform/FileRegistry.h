#pragma once

#include "platform/Registry.h"

#include <QMap>
#include <QString>

// A stand-in for the system registry on systems that have none. It reads keys and values from
// a text file in the layout of a registry export, so an administrator can name, for example, the
// system-information program there:
//
//   ; comment (also "#")
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Shared Tools\MSINFO]
//   "PATH"="/usr/bin/hardinfo"
//   @="default value"                 text (type 1); \\ and \" inside the quotes
//   "Count"=dword:0000002a            32-bit number (type 4), stored little-endian
//   "Raw"=hex:01,ff,20                binary (type 3)
//   "Other"=hex(2):41,00              any type by number, bytes as given
//
// Roots: HKEY_LOCAL_MACHINE (HKLM) and HKEY_CURRENT_USER (HKCU). Key paths and value names
// compare without regard to case, as in the system registry. Text values are stored in the
// local 8-bit encoding with a closing 0 byte, as the narrow-character registry functions return
// them. Lines that fit none of these forms are skipped.
//
// The file is /etc/lorvex/registry.ini unless the environment variable LORVEX_REGISTRY_FILE names
// another. It is read afresh on every key open, so edits apply without restarting the program.
// Files larger than 1 MiB are not read (the open fails).
class FileRegistry : public Registry {
public:
    FileRegistry();
    explicit FileRegistry(QString filePath);

    long openKey(std::uint32_t root, const QString& path, std::uint32_t access,
                 std::uintptr_t& handle) override;
    long queryValue(std::uintptr_t handle, const QString& name, std::uint32_t& type,
                    QByteArray& data, std::uint32_t& size) override;
    long closeKey(std::uintptr_t handle) override;

    const QString& filePath() const { return m_filePath; }
    static QString defaultFilePath();

private:
    struct Value {
        std::uint32_t type = 1;
        QByteArray data;
    };
    using ValueMap = QMap<QString, Value>;  // lower-case value name -> value
    using KeyMap = QMap<QString, ValueMap>; // "<root hex>\<lower-case path>" -> values

    static QString keyName(std::uint32_t root, const QString& path);
    static bool readFile(const QString& filePath, KeyMap& keys);
    static void parseValueLine(const QString& line, ValueMap& values);
    static bool parseData(const QString& text, Value& value);

    QString m_filePath;
    QMap<std::uintptr_t, ValueMap> m_open;
    std::uintptr_t m_nextHandle = 1;
};
