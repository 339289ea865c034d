#pragma once

#include "monitors/AttentionLimits.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;
class SettingsStore;

// The settings of the additions to the monitors: when a cash register stands out and how many
// values each row keeps for its trend line, and whether the desktop is notified. Shows what
// is stored; "OK" stores the values and hands them to the open monitors, "Abbrechen" and the
// close box leave everything as it was.
class frmEinstellungen : public QDialog {
    Q_OBJECT
public:
    using Apply =
        std::function<void(const AttentionLimits&, int trendLength, bool notificationsOn)>;

    frmEinstellungen(SettingsStore& store, Apply apply, QWidget* owner = nullptr);

    // Fills the fields from the store.
    void Form_Load();
    void OKButton_Click();

    QLabel* lblAnzahl = nullptr;
    QSpinBox* txtAnzahl = nullptr;
    QLabel* lblStillstand = nullptr;
    QSpinBox* txtStillstand = nullptr;
    QLabel* lblMinuten = nullptr;
    QLabel* lblTrend = nullptr;
    QSpinBox* txtTrend = nullptr;
    QLabel* lblTrendHinweis = nullptr;
    QCheckBox* chkBenachrichtigungen = nullptr;
    QPushButton* OKButton = nullptr;
    QPushButton* CancelButton = nullptr;

private:
    SettingsStore& m_store;
    Apply m_apply;
};
