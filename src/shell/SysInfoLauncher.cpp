#include "shell/SysInfoLauncher.h"

#include "lorvex_version.h"

#include <QScopeGuard>

#include <stdexcept>

namespace {
const QString kMsinfoKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO");
const QString kLocationKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location");
const QString kProgramFile = QStringLiteral("\\MSINFO32.EXE");
} // namespace

SysInfoLauncher::SysInfoLauncher(Platform& platform)
    : m_platform(platform) {
}

void SysInfoLauncher::StartSysInfo() {
    try {
        QString program;
        if (!GetKeyValue(Registry::LocalMachine, kMsinfoKey, QStringLiteral("PATH"), program)) {
            QString folder;
            if (!GetKeyValue(Registry::LocalMachine, kLocationKey, QStringLiteral("MSINFO"),
                             folder)) {
                showUnavailable();
                return;
            }
            program = folder + kProgramFile;
            if (!m_platform.launcher.fileExists(program)) {
                showUnavailable();
                return;
            }
        }
        // A value of another type reads as found but names no program; nothing to start then.
        if (program.isEmpty() || !m_platform.launcher.start(program)) {
            showUnavailable();
        }
    } catch (const std::exception&) {
        showUnavailable();
    }
}

bool SysInfoLauncher::GetKeyValue(std::uint32_t keyRoot, const QString& keyName,
                                  const QString& valueName, QString& keyValue) {
    Registry& registry = m_platform.registry;
    std::uintptr_t handle = 0;
    // Closed on every way out, also after a failed open; a failing close changes nothing.
    const auto closeKey = qScopeGuard([&registry, &handle] { registry.closeKey(handle); });

    if (registry.openKey(keyRoot, keyName, kAllAccess, handle) != Registry::Success) {
        keyValue.clear();
        return false;
    }
    QByteArray buffer(kBufferSize, '\0');
    std::uint32_t size = kBufferSize;
    std::uint32_t type = 0;
    if (registry.queryValue(handle, valueName, type, buffer, size) != Registry::Success ||
        size > kBufferSize) {
        keyValue.clear();
        return false;
    }
    if (size == 0) {
        keyValue.clear();
        throw std::runtime_error("registry value without data");
    }
    if (static_cast<std::uint32_t>(buffer.size()) < size) {
        buffer.append(QByteArray(size - buffer.size(), '\0'));
    }
    // The data size counts a text's closing 0; drop it, keep everything else.
    const auto length = static_cast<qsizetype>(size);
    const QByteArray data =
        buffer.at(length - 1) == '\0' ? buffer.left(length - 1) : buffer.left(length);
    if (type == kTypeText) {
        keyValue = QString::fromLocal8Bit(data);
    } else if (type == kTypeNumber) {
        keyValue = numberText(data);
    }
    return true;
}

QString SysInfoLauncher::numberText(const QByteArray& bytes) {
    QString text = QStringLiteral("&h");
    for (qsizetype i = bytes.size() - 1; i >= 0; --i) {
        text += QStringLiteral("%1")
                    .arg(static_cast<unsigned char>(bytes.at(i)), 2, 16, QLatin1Char('0'))
                    .toUpper();
    }
    return text;
}

void SysInfoLauncher::showUnavailable() {
    m_platform.messages.show(QStringLiteral("Systeminformationen sind momentan nicht verfügbar"),
                             QString::fromUtf8(lorvex::kAppTitle), MsgButtons::Ok, MsgIcon::None);
}
