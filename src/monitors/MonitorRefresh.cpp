#include "monitors/MonitorRefresh.h"

#include "access/CacheApi.h"
#include "objectclient/CacheError.h"
#include "platform/Platform.h"
#include "platform/RowList.h"

MonitorRefresh::MonitorRefresh(CacheApi& api, MonitorKind kind, QLocale locale)
    : m_api(api)
    , m_kind(std::move(kind))
    , m_locale(std::move(locale)) {
}

QList<QStringList> MonitorRefresh::fetchRows() {
    return m_kind.rowsOf(fetchReply(), m_locale);
}

QString MonitorRefresh::fetchReply() {
    const QTime started = m_api.platform().clock.timeOfDay();
    m_api.helpers().AddListRow(m_kind.logPart, QStringLiteral("Status um "),
                               started.toString(QStringLiteral("HH:mm:ss")));
    Connection& connection = m_api.connection();
    try {
        connection.BeginCacheAccess(false, false);
        if (!m_api.state().gFactory) {
            throw CacheError(-1, QStringLiteral("Keine Verbindung zum Server"));
        }
        CacheObjectPtr handle = m_api.state().gFactory->classAccess(m_kind.className);
        const QString reply = cacheValueToText(handle->call(m_kind.methodName));
        m_lastArrival = m_api.platform().clock.timeOfDay();
        connection.CloseCacheObject(handle);
        connection.EndCacheAccess(false);
        return reply;
    } catch (const CacheError&) {
        // The handle, if any, is released by its last reference; the idle timer must run
        // again so that a connection left behind is still dropped after an idle minute.
        endAccessAfterFailure();
        throw;
    }
}

void MonitorRefresh::endAccessAfterFailure() {
    try {
        m_api.connection().EndCacheAccess(false);
    } catch (const CacheError&) {
        // The original failure is the one worth reporting.
    }
}

void MonitorRefresh::showRows(RowList& list, const QList<QStringList>& rows) const {
    list.clear();
    for (const QStringList& row : rows) {
        list.appendCells(row);
    }
    if (m_kind.resetViewAfterRows && !rows.isEmpty()) {
        list.resetView();
    }
}
