#include "platform/FileRegistry.h"

#include <QFile>
#include <QStringList>

#include <utility>

namespace {
constexpr qint64 kMaxFileSize = 1024 * 1024;
constexpr long kInvalidHandle = 6;

// Strips blanks and a closing backslash so "[HKLM\A\B\]" and a lookup of "a\b" meet.
QString normalisedPath(const QString& path) {
    QString result = path.trimmed();
    while (result.endsWith(QLatin1Char('\\'))) {
        result.chop(1);
    }
    while (result.startsWith(QLatin1Char('\\'))) {
        result.remove(0, 1);
    }
    return result;
}

bool rootFromName(const QString& name, std::uint32_t& root) {
    const QString upper = name.toUpper();
    if (upper == QLatin1String("HKEY_LOCAL_MACHINE") || upper == QLatin1String("HKLM")) {
        root = Registry::LocalMachine;
        return true;
    }
    if (upper == QLatin1String("HKEY_CURRENT_USER") || upper == QLatin1String("HKCU")) {
        root = Registry::CurrentUser;
        return true;
    }
    return false;
}

// Reads a quoted text starting at pos (which holds the opening quote). On success pos is just
// past the closing quote.
bool readQuoted(const QString& line, qsizetype& pos, QString& text) {
    if (pos >= line.size() || line.at(pos) != QLatin1Char('"')) {
        return false;
    }
    text.clear();
    for (qsizetype i = pos + 1; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == QLatin1Char('\\') && i + 1 < line.size()) {
            text.append(line.at(++i));
        } else if (c == QLatin1Char('"')) {
            pos = i + 1;
            return true;
        } else {
            text.append(c);
        }
    }
    return false;
}

bool parseHexBytes(const QString& list, QByteArray& bytes) {
    bytes.clear();
    const QString trimmed = list.trimmed();
    if (trimmed.isEmpty()) {
        return true;
    }
    const QStringList parts = trimmed.split(QLatin1Char(','));
    for (const QString& part : parts) {
        const QString digits = part.trimmed();
        bool ok = false;
        const uint byte = digits.toUInt(&ok, 16);
        if (!ok || digits.size() > 2 || byte > 0xFF) {
            return false;
        }
        bytes.append(static_cast<char>(byte));
    }
    return true;
}
} // namespace

FileRegistry::FileRegistry()
    : FileRegistry(defaultFilePath()) {
}

FileRegistry::FileRegistry(QString filePath)
    : m_filePath(std::move(filePath)) {
}

QString FileRegistry::defaultFilePath() {
    const QString fromEnvironment = qEnvironmentVariable("LORVEX_REGISTRY_FILE");
    return fromEnvironment.isEmpty() ? QStringLiteral("/etc/lorvex/registry.ini") : fromEnvironment;
}

long FileRegistry::openKey(std::uint32_t root, const QString& path, std::uint32_t,
                           std::uintptr_t& handle) {
    KeyMap keys;
    if (!readFile(m_filePath, keys)) {
        return FileNotFound;
    }
    const auto found = keys.constFind(keyName(root, path));
    if (found == keys.constEnd()) {
        return FileNotFound;
    }
    handle = m_nextHandle++;
    m_open.insert(handle, found.value());
    return Success;
}

long FileRegistry::queryValue(std::uintptr_t handle, const QString& name, std::uint32_t& type,
                              QByteArray& data, std::uint32_t& size) {
    const auto key = m_open.constFind(handle);
    if (key == m_open.constEnd()) {
        return kInvalidHandle;
    }
    const auto found = key.value().constFind(name.toLower());
    if (found == key.value().constEnd()) {
        return FileNotFound;
    }
    const Value& value = found.value();
    const auto needed = static_cast<std::uint32_t>(value.data.size());
    if (needed > size) {
        size = needed;
        return MoreData;
    }
    // Like the system call: the value goes to the front of the caller's buffer, the rest stays.
    if (data.size() < value.data.size()) {
        data.resize(value.data.size());
    }
    data.replace(0, value.data.size(), value.data);
    type = value.type;
    size = needed;
    return Success;
}

long FileRegistry::closeKey(std::uintptr_t handle) {
    return m_open.remove(handle) > 0 ? Success : kInvalidHandle;
}

QString FileRegistry::keyName(std::uint32_t root, const QString& path) {
    return QString::number(root, 16) + QLatin1Char('\\') + normalisedPath(path).toLower();
}

bool FileRegistry::readFile(const QString& filePath, KeyMap& keys) {
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileSize) {
        return false;
    }
    const QString text = QString::fromUtf8(file.read(kMaxFileSize));
    ValueMap* current = nullptr;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString& rawLine : lines) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) ||
            line.startsWith(QLatin1Char('#'))) {
            continue;
        }
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            const QString inside = line.mid(1, line.size() - 2).trimmed();
            const qsizetype slash = inside.indexOf(QLatin1Char('\\'));
            const QString rootName = slash < 0 ? inside : inside.left(slash);
            const QString path = slash < 0 ? QString() : inside.mid(slash + 1);
            std::uint32_t root = 0;
            // Values under an unknown root belong to no key and are skipped with it.
            current = rootFromName(rootName, root) ? &keys[keyName(root, path)] : nullptr;
            continue;
        }
        if (current != nullptr) {
            parseValueLine(line, *current);
        }
    }
    return true;
}

void FileRegistry::parseValueLine(const QString& line, ValueMap& values) {
    QString name;
    qsizetype pos = 0;
    if (line.startsWith(QLatin1Char('@'))) {
        pos = 1;
    } else if (!readQuoted(line, pos, name)) {
        return;
    }
    while (pos < line.size() && line.at(pos).isSpace()) {
        ++pos;
    }
    if (pos >= line.size() || line.at(pos) != QLatin1Char('=')) {
        return;
    }
    Value value;
    if (parseData(line.mid(pos + 1).trimmed(), value)) {
        values.insert(name.toLower(), value);
    }
}

bool FileRegistry::parseData(const QString& text, Value& value) {
    if (text.startsWith(QLatin1Char('"'))) {
        QString content;
        qsizetype pos = 0;
        if (!readQuoted(text, pos, content) || pos != text.size()) {
            return false;
        }
        value.type = 1;
        value.data = content.toLocal8Bit();
        value.data.append('\0');
        return true;
    }
    if (text.startsWith(QLatin1String("dword:"), Qt::CaseInsensitive)) {
        const QString digits = text.mid(6).trimmed();
        bool ok = false;
        const std::uint32_t number = digits.toUInt(&ok, 16);
        if (!ok || digits.size() > 8) {
            return false;
        }
        value.type = 4;
        value.data.clear();
        for (int shift = 0; shift < 32; shift += 8) {
            value.data.append(static_cast<char>((number >> shift) & 0xFFu));
        }
        return true;
    }
    if (text.startsWith(QLatin1String("hex:"), Qt::CaseInsensitive)) {
        value.type = 3;
        return parseHexBytes(text.mid(4), value.data);
    }
    if (text.startsWith(QLatin1String("hex("), Qt::CaseInsensitive)) {
        const qsizetype close = text.indexOf(QLatin1String("):"));
        if (close < 0) {
            return false;
        }
        bool ok = false;
        const QString typeDigits = text.mid(4, close - 4);
        const uint type = typeDigits.toUInt(&ok, 16);
        if (!ok || typeDigits.size() > 8) {
            return false;
        }
        value.type = type;
        return parseHexBytes(text.mid(close + 2), value.data);
    }
    return false;
}
