#include "platform/QtSettingsStore.h"

#include <QDir>

namespace {
QString keyPath(const QString& section, const QString& key) {
    return section + QLatin1Char('/') + key;
}

#ifdef Q_OS_WIN
// Where the classic per-user settings functions keep this application's settings, so settings
// stored there before carry over.
std::unique_ptr<QSettings> openNative(const QString& app) {
    return std::make_unique<QSettings>(
        QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\") + app,
        QSettings::NativeFormat);
}
#else
std::unique_ptr<QSettings> openNative(const QString& app) {
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("LORVEX"), app);
}
#endif
} // namespace

QtSettingsStore::QtSettingsStore(const QString& iniDirectory)
    : m_iniDirectory(iniDirectory) {
}

QtSettingsStore::~QtSettingsStore() {
    sync();
}

QString QtSettingsStore::get(const QString& app, const QString& section, const QString& key,
                             const QString& defaultValue) const {
    const QVariant value = settingsFor(app).value(keyPath(section, key));
    return value.isValid() ? value.toString() : defaultValue;
}

void QtSettingsStore::save(const QString& app, const QString& section, const QString& key,
                           const QString& value) {
    settingsFor(app).setValue(keyPath(section, key), value);
}

void QtSettingsStore::sync() {
    for (auto& [app, settings] : m_byApp) {
        settings->sync();
    }
}

QSettings& QtSettingsStore::settingsFor(const QString& app) const {
    auto found = m_byApp.find(app);
    if (found == m_byApp.end()) {
        auto settings = m_iniDirectory.isEmpty()
                            ? openNative(app)
                            : std::make_unique<QSettings>(
                                  QDir(m_iniDirectory).filePath(app + QStringLiteral(".ini")),
                                  QSettings::IniFormat);
        found = m_byApp.emplace(app, std::move(settings)).first;
    }
    return *found->second;
}
