#include "shell/frmProgrammverlauf.h"

#include "access/LoginSettings.h"
#include "monitors/MonitorSettings.h"
#include "platform/ListControl.h"
#include "platform/ListExporter.h"
#include "platform/Platform.h"
#include "platform/Twips.h"
#include "platform/VisibleFocus.h"
#include "platform/WindowMemory.h"
#include "shell/AppIcons.h"

#include <QCloseEvent>

#include <stdexcept>

frmProgrammverlauf::frmProgrammverlauf(Platform& platform, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , Verlauf(new ListControl(this)) {
    setObjectName(QStringLiteral("frmProgrammverlauf"));
    setWindowTitle(QStringLiteral("Programmverlauf"));
    setWindowIcon(AppIcons::programLog());
    resize(twipsToPixels(8550), twipsToPixels(4320));

    Verlauf->setObjectName(QStringLiteral("Verlauf"));
    Verlauf->setAccessibleName(QStringLiteral("Programmverlauf"));
    VisibleFocus::install(*this);
    Verlauf->setGeometry(twipsRect(0, 0, 8535, 4335));
    Verlauf->setColumns(
        {QStringLiteral("Programmteil"), QStringLiteral("Text"), QStringLiteral("Parameter")},
        {175, 275, 595});
    exporter =
        new ListExporter(*Verlauf, *this, platform.messages, QStringLiteral("Programmverlauf"));
    m_memory =
        std::make_unique<WindowMemory>(platform.settings, LoginSettings::App,
                                       MonitorSettings::Section, QStringLiteral("Programmverlauf"));
    m_memory->restoreColumns(*Verlauf);
    m_memory->restorePlace(*this, true);
}

frmProgrammverlauf::~frmProgrammverlauf() = default;

void frmProgrammverlauf::showEvent(QShowEvent* event) {
    m_shown = true;
    QWidget::showEvent(event);
}

void frmProgrammverlauf::Form_Load() {
}

void frmProgrammverlauf::StatusText(const QString& part, const QString& text,
                                    const QString& parameter) {
    const QString row = part + QLatin1Char(';') + text + QLatin1Char(';') + parameter;
    Verlauf->insertAt(row, 0);
    try {
        Verlauf->removeAt(kMaxRows);
    } catch (const std::out_of_range&) {
        // Fewer rows than the cap: nothing to drop.
    }
}

void frmProgrammverlauf::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The list grows and shrinks with the window, keeping its design offsets from the edges.
    Verlauf->resize(width() - twipsToPixels(8550 - 8535), height() + twipsToPixels(4335 - 4320));
}

void frmProgrammverlauf::closeEvent(QCloseEvent* event) {
    if (m_shown) {
        m_memory->save(*this, *Verlauf);
    }
    // The user's close box only hides the window; closing from code unloads it.
    if (event->spontaneous()) {
        event->ignore();
        hide();
        return;
    }
    event->accept();
}
