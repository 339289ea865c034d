#include "monitors/frmZeiterfassung.h"

#include "platform/ListControl.h"
#include "platform/WindowMemory.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

frmZeiterfassung::frmZeiterfassung(CacheApi& api, QWidget* owner, const QLocale& locale)
    : MonitorWindow(api, owner, MonitorKind::zeiterfassung(),
                    Layout{QStringLiteral("Zeiterfassung"),
                           7455,
                           {QStringLiteral("Nr"), QStringLiteral("E Ist"), QStringLiteral("E Soll"),
                            QStringLiteral("Diff"), QStringLiteral("S Ist"),
                            QStringLiteral("S Soll"), QStringLiteral("Diff")},
                           {25, 75, 75, 75, 75, 75, 75}},
                    locale)
    , lstZeit(list()) {
    setObjectName(QStringLiteral("frmZeiterfassung"));
    // Tab indexes: OKButton 0, lstZeit 1, cmdRefresh 2, Edit1 5.
    setTabOrder(OKButton, lstZeit);
    setTabOrder(lstZeit, cmdRefresh);
    setTabOrder(cmdRefresh, Edit1);
}

QWidget* frmZeiterfassung::firstFocus() const {
    return OKButton;
}

void frmZeiterfassung::showEvent(QShowEvent* event) {
    if (!m_placed) {
        m_placed = true;
        if (memory().restorePlace(*this, false)) {
            MonitorWindow::showEvent(event);
            return;
        }
        const QWidget* owner = parentWidget();
        QRect area = owner ? owner->window()->frameGeometry() : QRect();
        if (!area.isValid() && QGuiApplication::primaryScreen()) {
            area = QGuiApplication::primaryScreen()->availableGeometry();
        }
        if (area.isValid()) {
            QRect frame = frameGeometry();
            frame.moveCenter(area.center());
            move(frame.topLeft());
        }
    }
    MonitorWindow::showEvent(event);
}
