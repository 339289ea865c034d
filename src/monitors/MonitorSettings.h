#pragma once

#include "monitors/AttentionLimits.h"

#include <QString>

class SettingsStore;

// What the monitors remember between runs, in the per-user store next to the sign-in data but
// in a section of its own ("Monitor"), so the section "Login" stays as it was. A stored value
// that is missing or not sound reads as its default.
class MonitorSettings {
public:
    static const QString Section;

    explicit MonitorSettings(SettingsStore& store);

    AttentionLimits attentionLimits() const;
    void saveAttentionLimits(const AttentionLimits& limits);
    // Values kept per row for the trend lines.
    int trendLength() const;
    void saveTrendLength(int length);
    // Desktop notifications about the monitors; on unless switched off.
    bool notificationsOn() const;
    void saveNotificationsOn(bool on);

    // Any text, under a monitor's or window's name ("Kassa", "Programmverlauf") and a key.
    QString value(const QString& owner, const QString& key) const;
    void saveValue(const QString& owner, const QString& key, const QString& value);

private:
    SettingsStore& m_store;
};
