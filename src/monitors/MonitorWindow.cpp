#include "monitors/MonitorWindow.h"

#include "access/CacheApi.h"
#include "access/LoginSettings.h"
#include "monitors/MonitorSettings.h"
#include "platform/LabelFit.h"
#include "platform/LegibleColors.h"
#include "platform/ListControl.h"
#include "platform/ListExporter.h"
#include "platform/Platform.h"
#include "platform/Twips.h"
#include "platform/VisibleFocus.h"
#include "platform/WindowMemory.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>

namespace {

void place(QWidget* widget, int left, int top, int width, int height) {
    widget->setGeometry(twipsRect(left, top, width, height));
}

} // namespace

MonitorWindow::MonitorWindow(CacheApi& api, QWidget* owner, MonitorKind kind, const Layout& layout,
                             const QLocale& locale)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                         Qt::MSWindowsFixedSizeDialogHint) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(layout.caption);
    setFixedSize(twipsSize(layout.clientWidthTwips, 2760));
    setSizeGripEnabled(false);

    m_list = new ListControl(this);
    m_list->setColumns(layout.headers, layout.columnWidths);
    place(m_list, 120, 120, 7215, 2055);
    m_exporter = new ListExporter(*m_list, *this, api.platform().messages, layout.caption);
    m_settingsName = kind.settingsName;
    m_memory = std::make_unique<WindowMemory>(api.platform().settings, LoginSettings::App,
                                              MonitorSettings::Section, m_settingsName);
    m_memory->restoreColumns(*m_list);

    Label1 = new QLabel(QStringLiteral("Auto Refresh"), this);
    place(Label1, 120, 2280, 1215, 255);
    Edit1 = new QLineEdit(QStringLiteral("10"), this);
    place(Edit1, 1440, 2280, 615, 375);
    Label2 = new QLabel(QStringLiteral("sec"), this);
    place(Label2, 2160, 2280, 495, 255);
    fitLabelToText(Label1, 1440 - 30);
    fitLabelToText(Label2, 2760 - 30);
    // Right after "sec", shown while auto refresh is off (interval 0).
    lblAutoAus = new QLabel(QStringLiteral("(aus)"), this);
    lblAutoAus->setToolTip(QStringLiteral("Auto Refresh ist ausgeschaltet (0 sec): nur "
                                          "\"Refresh\" holt neue Daten."));
    // Same height and alignment as "sec", so both texts stand on one baseline.
    lblAutoAus->setAlignment(Label2->alignment());
    lblAutoAus->setGeometry(
        Label2->x() + Label2->fontMetrics().horizontalAdvance(Label2->text()) + 4, Label2->y(),
        lblAutoAus->fontMetrics().horizontalAdvance(lblAutoAus->text()) + 2, Label2->height());
    lblAutoAus->hide();
    // In the free space between "sec" and "Refresh", against "Refresh" so that the hint above
    // has room.
    lblStand = new QLabel(this);
    place(lblStand, 2760, 2280, 1695, 255);
    lblStand->setAlignment(Qt::AlignRight | Qt::AlignTop);
    cmdRefresh = new QPushButton(QStringLiteral("Refresh"), this);
    place(cmdRefresh, 4560, 2280, 1455, 375);
    OKButton = new QPushButton(QStringLiteral("OK"), this);
    place(OKButton, 6120, 2280, 1215, 375);
    // A screen reader names the list and the interval field; the focus shows from the first
    // moment, before any Tab.
    m_list->setAccessibleName(layout.caption);
    Edit1->setAccessibleName(QStringLiteral("Auto Refresh in Sekunden"));
    Label1->setBuddy(Edit1);
    VisibleFocus::install(*this);
    // Enter in the interval field must not press a button.
    cmdRefresh->setAutoDefault(false);
    OKButton->setAutoDefault(false);

    m_controller = std::make_unique<MonitorController>(api, std::move(kind), *m_list, locale);
    m_controller->setOnStatusChanged([this] { showStand(); });
    m_exporter->setMenuExtender([this](QMenu& menu, int row) {
        if (!m_controller->canSnooze(row)) {
            return;
        }
        menu.addSeparator();
        QAction* snooze = menu.addAction(QStringLiteral("Alarm 1 Stunde stummschalten"));
        connect(snooze, &QAction::triggered, this, [this, row] { m_controller->snooze(row); });
    });
    showStand();

    connect(cmdRefresh, &QPushButton::clicked, this, [this] { cmdRefresh_Click(); });
    connect(OKButton, &QPushButton::clicked, this, [this] { OKButton_Click(); });
    connect(Edit1, &QLineEdit::textChanged, this, [this] { Edit1_Change(); });
    connect(Edit1, &QLineEdit::editingFinished, this, [this] { showIntervalInEffect(); });
    restoreInterval();
}

void MonitorWindow::restoreInterval() {
    MonitorSettings settings(m_controller->settings());
    bool ok = false;
    const int ms = settings.value(m_settingsName, QStringLiteral("IntervallMs")).toInt(&ok);
    if (ok && m_controller->restoreInterval(ms)) {
        const QSignalBlocker quiet(Edit1);
        Edit1->setText(m_controller->intervalText());
    }
}

void MonitorWindow::showEvent(QShowEvent* event) {
    m_shown = true;
    QDialog::showEvent(event);
}

void MonitorWindow::closeEvent(QCloseEvent* event) {
    // Kept for the next opening, also in the next run of the program.
    if (m_shown) {
        m_memory->save(*this, *m_list);
    }
    MonitorSettings(m_controller->settings())
        .saveValue(m_settingsName, QStringLiteral("IntervallMs"),
                   QString::number(m_controller->timer().interval()));
    QDialog::closeEvent(event);
}

MonitorWindow::~MonitorWindow() = default;

void MonitorWindow::Form_Load() {
    if (QWidget* first = firstFocus()) {
        first->setFocus();
    }
    // The user who opened the window waits for its rows.
    m_controller->refreshForUser();
}

void MonitorWindow::Timer1_Timer() {
    m_controller->Timer1_Timer();
}

void MonitorWindow::cmdRefresh_Click() {
    m_controller->refreshForUser();
}

void MonitorWindow::Edit1_Change() {
    m_intervalRefused = !m_controller->Edit1_Change(Edit1->text());
    QPalette palette = this->palette();
    if (m_intervalRefused) {
        // Typing goes on, but the text is not the interval in effect.
        palette.setColor(QPalette::Text,
                         LegibleColors::warningTextOn(palette.color(QPalette::Base)));
    }
    Edit1->setPalette(palette);
}

void MonitorWindow::showIntervalInEffect() {
    if (!m_intervalRefused) {
        return;
    }
    const QSignalBlocker quiet(Edit1);
    Edit1->setText(m_controller->intervalText());
    m_intervalRefused = false;
    Edit1->setPalette(palette());
}

void MonitorWindow::OKButton_Click() {
    close();
}

void MonitorWindow::keyPressEvent(QKeyEvent* event) {
    // Escape does not close a monitor; only "OK" and the close box do.
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}

void MonitorWindow::showStand() {
    lblStand->setText(m_controller->standText());
    QPalette palette = this->palette();
    if (m_controller->isStale()) {
        palette.setColor(QPalette::WindowText,
                         LegibleColors::warningTextOn(palette.color(QPalette::Window)));
    }
    lblStand->setPalette(palette);
    lblStand->setToolTip(m_controller->staleReason());
    lblAutoAus->setVisible(m_controller->autoRefreshOff());
}
