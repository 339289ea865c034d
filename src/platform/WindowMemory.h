#pragma once

#include <QString>

class ListControl;
class QWidget;
class SettingsStore;

// Keeps one window's place and its list's column widths in the settings store, under the
// window's name, and puts them back when they fit the screens there are now. Nothing stored,
// or nothing usable: the window stays where its own rules put it.
class WindowMemory {
public:
    WindowMemory(SettingsStore& store, QString app, QString section, QString owner);

    // Moves (and for a sizable window also resizes) the window to its kept place; true when it
    // did. The place is the window's inside (QWidget::geometry), under any window manager.
    bool restorePlace(QWidget& window, bool withSize) const;
    // Column widths the user set before, kept as the user's from now on.
    void restoreColumns(ListControl& list) const;
    // The window's place, and the column widths if the user has set them.
    void save(const QWidget& window, const ListControl& list);

private:
    QString read(const QString& key) const;
    void write(const QString& key, const QString& value);

    SettingsStore& m_store;
    QString m_app;
    QString m_section;
    QString m_owner;
};
