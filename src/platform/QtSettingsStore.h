#pragma once

#include "platform/SettingsStore.h"

#include <QSettings>

#include <map>
#include <memory>

// The per-user settings store on QSettings. On Windows it lives where the classic settings
// functions keep it (HKCU\Software\VB and VBA Program Settings\<app>\<section>), so values
// stored by earlier programs carry over; elsewhere in the native per-user place. Tests give
// a directory and get one INI file per application there.
class QtSettingsStore : public SettingsStore {
public:
    QtSettingsStore() = default;
    explicit QtSettingsStore(const QString& iniDirectory);
    ~QtSettingsStore() override;

    QString get(const QString& app, const QString& section, const QString& key,
                const QString& defaultValue) const override;
    void save(const QString& app, const QString& section, const QString& key,
              const QString& value) override;
    void sync() override;

private:
    QSettings& settingsFor(const QString& app) const;

    QString m_iniDirectory;
    mutable std::map<QString, std::unique_ptr<QSettings>> m_byApp;
};
