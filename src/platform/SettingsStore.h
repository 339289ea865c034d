#pragma once

#include <QString>

// The per-user application settings store: texts by application, section and key.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual QString get(const QString& app, const QString& section, const QString& key,
                        const QString& defaultValue) const = 0;
    virtual void save(const QString& app, const QString& section, const QString& key,
                      const QString& value) = 0;
    // Writes pending changes to permanent storage.
    virtual void sync() = 0;
};
