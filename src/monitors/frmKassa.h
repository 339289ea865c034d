#pragma once

#include "monitors/MonitorWindow.h"

// The cash-register monitor: one row per register with its unposted transactions and the
// first and last transaction counter. Opens at its stored position.
class frmKassa : public MonitorWindow {
    Q_OBJECT
public:
    frmKassa(CacheApi& api, QWidget* owner, const QLocale& locale = QLocale::system());

    ListControl* lstKassa = nullptr;

protected:
    QWidget* firstFocus() const override;
};
