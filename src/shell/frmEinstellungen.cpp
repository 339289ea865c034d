#include "shell/frmEinstellungen.h"

#include "monitors/MonitorSettings.h"
#include "monitors/RowHistory.h"
#include "platform/LabelFit.h"
#include "platform/Twips.h"
#include "shell/AppIcons.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

frmEinstellungen::frmEinstellungen(SettingsStore& store, Apply apply, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                         Qt::MSWindowsFixedSizeDialogHint)
    , m_store(store)
    , m_apply(std::move(apply)) {
    setObjectName(QStringLiteral("frmEinstellungen"));
    setWindowTitle(QStringLiteral("Einstellungen"));
    setWindowIcon(AppIcons::mainWindow());
    setFixedSize(twipsSize(6000, 2400));

    lblAnzahl = new QLabel(QStringLiteral("Kassa hervorheben ab &Anzahl:"), this);
    lblAnzahl->setGeometry(twipsRect(120, 165, 3000, 255));
    txtAnzahl = new QSpinBox(this);
    txtAnzahl->setRange(1, 1000000);
    txtAnzahl->setGeometry(twipsRect(3240, 120, 1095, 315));
    lblAnzahl->setBuddy(txtAnzahl);

    lblStillstand = new QLabel(QStringLiteral("... oder LastCNT &unverändert seit:"), this);
    lblStillstand->setGeometry(twipsRect(120, 585, 3000, 255));
    txtStillstand = new QSpinBox(this);
    txtStillstand->setRange(0, 24 * 60);
    txtStillstand->setGeometry(twipsRect(3240, 540, 1095, 315));
    txtStillstand->setToolTip(QStringLiteral("Bei offenen Vorgängen; 0 schaltet das aus."));
    lblStillstand->setBuddy(txtStillstand);
    lblMinuten = new QLabel(QStringLiteral("min (0 = aus)"), this);
    lblMinuten->setGeometry(twipsRect(4440, 585, 1455, 255));
    lblTrend = new QLabel(QStringLiteral("&Trend: Werte je Zeile:"), this);
    lblTrend->setGeometry(twipsRect(120, 1005, 3000, 255));
    txtTrend = new QSpinBox(this);
    txtTrend->setRange(RowHistory::kMinLength, RowHistory::kMaxLength);
    txtTrend->setGeometry(twipsRect(3240, 960, 1095, 315));
    txtTrend->setToolTip(QStringLiteral("Je Aktualisierung ein Wert; 360 sind bei 10 sec eine "
                                        "Stunde."));
    lblTrend->setBuddy(txtTrend);
    lblTrendHinweis = new QLabel(QStringLiteral("Werte"), this);
    lblTrendHinweis->setGeometry(twipsRect(4440, 1005, 1455, 255));
    fitLabelToText(lblTrend, 3240 - 30);
    chkBenachrichtigungen =
        new QCheckBox(QStringLiteral("&Desktop-Benachrichtigungen bei Alarmen"), this);
    chkBenachrichtigungen->setGeometry(twipsRect(120, 1380, 5775, 315));
    fitLabelToText(lblAnzahl, 3240 - 30);
    fitLabelToText(lblStillstand, 3240 - 30);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setGeometry(twipsRect(3240, 1920, 1215, 375));
    OKButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Abbrechen"), this);
    CancelButton->setGeometry(twipsRect(4560, 1920, 1335, 375));
    setTabOrder(txtAnzahl, txtStillstand);
    setTabOrder(txtStillstand, txtTrend);
    setTabOrder(txtTrend, chkBenachrichtigungen);
    setTabOrder(chkBenachrichtigungen, OKButton);
    setTabOrder(OKButton, CancelButton);

    connect(OKButton, &QPushButton::clicked, this, [this] { OKButton_Click(); });
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void frmEinstellungen::Form_Load() {
    const MonitorSettings settings(m_store);
    const AttentionLimits limits = settings.attentionLimits();
    txtTrend->setValue(settings.trendLength());
    chkBenachrichtigungen->setChecked(settings.notificationsOn());
    txtAnzahl->setValue(static_cast<int>(limits.count));
    txtStillstand->setValue(limits.stillMinutes);
    txtAnzahl->setFocus();
}

void frmEinstellungen::OKButton_Click() {
    const AttentionLimits limits{static_cast<double>(txtAnzahl->value()), txtStillstand->value()};
    MonitorSettings settings(m_store);
    settings.saveAttentionLimits(limits);
    settings.saveTrendLength(txtTrend->value());
    settings.saveNotificationsOn(chkBenachrichtigungen->isChecked());
    if (m_apply) {
        m_apply(limits, txtTrend->value(), chkBenachrichtigungen->isChecked());
    }
    accept();
}
