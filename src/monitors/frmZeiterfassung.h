#pragma once

#include "monitors/MonitorWindow.h"

// The time-clock monitor: the counters of four time clocks, actual against expected, with
// their differences. Opens centred over its owner.
class frmZeiterfassung : public MonitorWindow {
    Q_OBJECT
public:
    frmZeiterfassung(CacheApi& api, QWidget* owner, const QLocale& locale = QLocale::system());

    ListControl* lstZeit = nullptr;

protected:
    QWidget* firstFocus() const override;
    void showEvent(QShowEvent* event) override;

private:
    bool m_placed = false;
};
