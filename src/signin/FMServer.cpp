#include "signin/FMServer.h"

#include "access/CacheApi.h"
#include "access/LoginSettings.h"
#include "platform/LabelFit.h"
#include "platform/LatchingButton.h"
#include "platform/Platform.h"
#include "platform/Twips.h"
#include "platform/VisibleFocus.h"
#include "signin/SignInWindowHost.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

#include <algorithm>

namespace {

const QString Title = QStringLiteral("Anmeldung an Caché");

QLabel* makeLabel(const QString& name, const QString& text, const QRect& geometry,
                  QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(geometry);
    return label;
}

} // namespace

FMServer::FMServer(CacheApi& api, SignInWindowHost& host, QWidget* parent)
    : QDialog(parent)
    , m_api(api)
    , m_host(host) {
    setObjectName(QStringLiteral("FMServer"));
    setWindowTitle(QStringLiteral("LORVEX Server"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setWindowIcon(style()->standardIcon(QStyle::SP_ComputerIcon));
    resize(twipsSize(3720, 1815));

    Label4 = makeLabel(QStringLiteral("Label4"), QStringLiteral("ServerIP:"),
                       twipsRect(360, 165, 615, 255), this);
    BSERVERIP = makeBox(QStringLiteral("BSERVERIP"), LoginSettings::DefaultServer,
                        twipsRect(1080, 120, 1455, 285));
    Label6 = makeLabel(QStringLiteral("Label6"), QStringLiteral("Port:"),
                       twipsRect(2640, 165, 615, 255), this);
    BPORT = makeBox(QStringLiteral("BPORT"), LoginSettings::DefaultStoredPort,
                    twipsRect(3120, 120, 495, 285));
    widenToFiveDigits(BPORT);
    Label1 = makeLabel(QStringLiteral("Label1"), QStringLiteral("Firma:"),
                       twipsRect(600, 525, 495, 255), this);
    BFIRMA = makeBox(QStringLiteral("BFIRMA"), LoginSettings::DefaultStoredFirma,
                     twipsRect(1080, 480, 375, 285));
    Label2 = makeLabel(QStringLiteral("Label2"), QStringLiteral("Filiale:"),
                       twipsRect(1680, 525, 495, 255), this);
    BFIL = makeBox(QStringLiteral("BFIL"), LoginSettings::DefaultStoredFiliale,
                   twipsRect(2160, 480, 375, 285));
    Label3 = makeLabel(QStringLiteral("Label3"), QStringLiteral("Namespace:"),
                       twipsRect(120, 885, 900, 195), this);
    BNAMESPACE = makeBox(QStringLiteral("BNAMESPACE"), LoginSettings::DefaultNamespace,
                         twipsRect(1080, 840, 1455, 285));
    for (QLabel* label : {Label4, Label1}) {
        fitLabelToText(label, 1080 - 30);
    }
    // "Namespace:" is the longest; it may run up to its box so that it keeps off the edge.
    fitLabelToText(Label3, 1080);
    // "Port:" ends where the (maybe widened) port box begins.
    Label6->resize(std::min(Label6->width(), BPORT->x() - Label6->x() - 2), Label6->height());
    fitLabelToText(Label6, BPORT->x() * 15 - 30);
    fitLabelToText(Label2, 2160 - 30);

    BUEdit = new LatchingButton(QStringLiteral("Ändern"), this);
    BUEdit->setObjectName(QStringLiteral("BUEdit"));
    BUEdit->setGeometry(twipsRect(120, 1320, 1695, 375));
    BUEdit->setAutoDefault(false);
    BUZurück = new QPushButton(QStringLiteral("Zurück"), this);
    BUZurück->setObjectName(QStringLiteral("BUZurück"));
    BUZurück->setGeometry(twipsRect(1920, 1320, 1695, 375));
    BUZurück->setAutoDefault(false);

    // A screen reader names each box by its label; the focus shows from the first moment.
    Label4->setBuddy(BSERVERIP);
    Label6->setBuddy(BPORT);
    Label1->setBuddy(BFIRMA);
    Label2->setBuddy(BFIL);
    Label3->setBuddy(BNAMESPACE);
    VisibleFocus::install(*this);

    setTabOrder(BUEdit, BSERVERIP);
    setTabOrder(BSERVERIP, BPORT);
    setTabOrder(BPORT, BFIRMA);
    setTabOrder(BFIRMA, BFIL);
    setTabOrder(BFIL, BNAMESPACE);
    setTabOrder(BNAMESPACE, BUZurück);

    connect(BUEdit, &QPushButton::clicked, this, &FMServer::BUEdit_Click);
    connect(BUZurück, &QPushButton::clicked, this, &FMServer::BUZurück_Click);

    Lock = m_api.platform().timers.createTimer();
    Lock->setInterval(IdleTimeoutMs);
    Lock->setEnabled(false);
    Lock->setOnTimeout([this] { Lock_Timer(); });
}

FMServer::~FMServer() = default;

void FMServer::Form_Load() {
    // The idle timer only runs between the end of one server access and the next.
    Lock->setEnabled(false);
    setBoxesEnabled(false);
    BUEdit->setFocus(Qt::OtherFocusReason);
}

void FMServer::BUEdit_Click() {
    MessageBoxes& messages = m_api.platform().messages;
    if (!BUEdit->value()) {
        const MsgAnswer answer = messages.show(QStringLiteral("Änderungen erlauben?"), Title,
                                               MsgButtons::YesNo, MsgIcon::None);
        if (answer == MsgAnswer::Yes) {
            setBoxesEnabled(true);
        } else {
            BUEdit->setValue(true);
        }
        return;
    }
    setBoxesEnabled(false);
    const MsgAnswer answer = messages.show(QStringLiteral("Änderungen sichern?"), Title,
                                           MsgButtons::YesNo, MsgIcon::None);
    if (answer != MsgAnswer::Yes) {
        return; // the edits stay in the boxes and go out with the next store
    }
    m_api.connection().EndCacheAccess(false);
    m_api.connection().DisconnectCache();
    m_host.saveSignInEntries();
    m_api.loader().LoadLoginSettings();
}

void FMServer::BUZurück_Click() {
    setVisible(false);
}

void FMServer::Lock_Timer() {
    // A connection in use is not idle (the tick can come during the tries of a connection).
    if (m_api.connection().gate().busy()) {
        return;
    }
    m_api.connection().DisconnectCache();
}

void FMServer::closeEvent(QCloseEvent* event) {
    // The dialog must stay loaded for its idle timer: the close box only hides it.
    if (event->spontaneous()) {
        event->ignore();
        hide();
        return;
    }
    QDialog::closeEvent(event);
}

void FMServer::keyPressEvent(QKeyEvent* event) {
    // Enter (keypad Enter too) presses the focused button, as Space does. The buttons are no
    // default buttons, so Enter in a text box never flips the lock or stores anything.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
            event->accept();
            button->click();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

QLineEdit* FMServer::makeBox(const QString& name, const QString& text, const QRect& geometry) {
    auto* box = new QLineEdit(text, this);
    box->setObjectName(name);
    box->setGeometry(geometry);
    box->setEnabled(false);
    // The button-face background makes the boxes look read-only, also once they are opened.
    QPalette palette = box->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Base, palette.color(group, QPalette::Button));
    }
    box->setPalette(palette);
    return box;
}

void FMServer::widenToFiveDigits(QLineEdit* box) {
    // Frame, inner margins and the caret around the digits; the right edge stays in place.
    const int needed = box->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 12;
    if (needed > box->width()) {
        const int right = box->x() + box->width();
        box->setGeometry(right - needed, box->y(), needed, box->height());
    }
}

void FMServer::setBoxesEnabled(bool enabled) {
    for (QLineEdit* box : {BPORT, BSERVERIP, BFIRMA, BFIL, BNAMESPACE}) {
        box->setEnabled(enabled);
    }
}
