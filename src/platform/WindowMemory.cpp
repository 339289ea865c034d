#include "platform/WindowMemory.h"

#include "platform/ListControl.h"
#include "platform/SettingsStore.h"
#include "platform/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {

const QString KeyPlace = QStringLiteral("Position");
const QString KeyColumns = QStringLiteral("Spalten");

QList<QRect> screenAreas() {
    QList<QRect> areas;
    for (const QScreen* screen : QGuiApplication::screens()) {
        areas << screen->availableGeometry();
    }
    return areas;
}

} // namespace

WindowMemory::WindowMemory(SettingsStore& store, QString app, QString section, QString owner)
    : m_store(store)
    , m_app(std::move(app))
    , m_section(std::move(section))
    , m_owner(std::move(owner)) {
}

bool WindowMemory::restorePlace(QWidget& window, bool withSize) const {
    const std::optional<QRect> place = WindowPlacement::parseRect(read(KeyPlace));
    if (!place || !WindowPlacement::reachable(*place, screenAreas())) {
        return false;
    }
    // The place is the window's inside, without the frame the window manager adds: the frame
    // is not known before the window is on screen, and a place taken with the frame but given
    // back without it would creep by the frame on every start.
    const QSize size = withSize ? place->size().expandedTo(window.minimumSize()) : window.size();
    window.setGeometry(QRect(place->topLeft(), size));
    return true;
}

void WindowMemory::restoreColumns(ListControl& list) const {
    const std::optional<QList<int>> widths =
        WindowPlacement::parseWidths(read(KeyColumns), list.columnCount());
    if (widths) {
        list.setUserColumnWidths(*widths);
    }
}

void WindowMemory::save(const QWidget& window, const ListControl& list) {
    write(KeyPlace, WindowPlacement::rectText(window.geometry()));
    if (list.userSizedColumns()) {
        write(KeyColumns, WindowPlacement::widthsText(list.columnWidths()));
    }
}

QString WindowMemory::read(const QString& key) const {
    return m_store.get(m_app, m_section, m_owner + key, QString());
}

void WindowMemory::write(const QString& key, const QString& value) {
    m_store.save(m_app, m_section, m_owner + key, value);
}
