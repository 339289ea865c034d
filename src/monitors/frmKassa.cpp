#include "monitors/frmKassa.h"

#include "platform/ListControl.h"
#include "platform/Twips.h"
#include "platform/WindowMemory.h"

#include <QLineEdit>
#include <QPushButton>

frmKassa::frmKassa(CacheApi& api, QWidget* owner, const QLocale& locale)
    : MonitorWindow(api, owner, MonitorKind::kassa(),
                    Layout{QStringLiteral("Kassa"),
                           7440,
                           {QStringLiteral("Nr"), QStringLiteral("Anzahl"),
                            QStringLiteral("FirstCNT"), QStringLiteral("LastCNT")},
                           {25, 75, 75, 75}},
                    locale)
    , lstKassa(list()) {
    setObjectName(QStringLiteral("frmKassa"));
    if (!memory().restorePlace(*this, false)) {
        move(twipsToPixels(2760), twipsToPixels(3750));
    }
    // Tab indexes: cmdRefresh 0, lstKassa 1, OKButton 2, Edit1 5.
    setTabOrder(cmdRefresh, lstKassa);
    setTabOrder(lstKassa, OKButton);
    setTabOrder(OKButton, Edit1);
}

QWidget* frmKassa::firstFocus() const {
    return cmdRefresh;
}
