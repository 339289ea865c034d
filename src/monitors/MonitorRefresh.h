#pragma once

#include "monitors/MonitorKind.h"

#include <QLocale>
#include <QStringList>
#include <QTime>

class CacheApi;
class RowList;

// One refresh of a monitor, shared by the windows and the headless print mode: the log entry,
// the whole server access, and only then the rows. fetchRows() throws CacheError when the
// server access fails; the access bracket is closed (idle timer running again) either way.
class MonitorRefresh {
public:
    MonitorRefresh(CacheApi& api, MonitorKind kind, QLocale locale = QLocale::system());

    // Writes the log entry, reads the reply and turns it into rows of cells. Touches no list.
    QList<QStringList> fetchRows();
    // When the reply of the last successful fetchRows() arrived, taken as it came in, so that
    // whatever ran before the rows were shown does not make them look newer.
    QTime lastArrival() const { return m_lastArrival; }

    // Replaces the list's rows: empty it, append each row's cells, then reset its view when
    // the monitor wants that and rows were listed.
    void showRows(RowList& list, const QList<QStringList>& rows) const;

    const MonitorKind& kind() const { return m_kind; }

private:
    QString fetchReply();
    void endAccessAfterFailure();

    CacheApi& m_api;
    MonitorKind m_kind;
    QLocale m_locale;
    QTime m_lastArrival;
};
