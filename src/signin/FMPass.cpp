#include "signin/FMPass.h"

#include "access/CacheApi.h"
#include "access/FormHost.h"
#include "access/LoginSettings.h"
#include "platform/LabelFit.h"
#include "platform/Platform.h"
#include "platform/Twips.h"
#include "platform/VisibleFocus.h"
#include "signin/SelectAllText.h"
#include "signin/SignIn.h"
#include "signin/SignInWindowHost.h"

#include <QCloseEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QStyle>

namespace {

QPushButton* makeButton(const QString& caption, QStyle::StandardPixmap picture, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setIcon(parent->style()->standardIcon(picture));
    // Enter presses the button that has the focus.
    button->setAutoDefault(true);
    return button;
}

} // namespace

FMPass::FMPass(CacheApi& api, SignIn& signIn, SignInWindowHost& host, QWidget* parent)
    : QDialog(parent)
    , m_api(api)
    , m_signIn(signIn)
    , m_host(host) {
    setObjectName(QStringLiteral("FMPass"));
    setWindowTitle(QStringLiteral("LORVEX Benutzeranmeldung"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setWindowIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
    setFixedSize(twipsSize(3975, 1410));

    Label5 = new QLabel(QStringLiteral("User(WWS Personalcode):"), this);
    Label5->setGeometry(twipsRect(120, 165, 1920, 195));
    BUSER = new QLineEdit(this);
    BUSER->setGeometry(twipsRect(2280, 120, 1455, 285));
    Label3 = new QLabel(QStringLiteral("Passwort:"), this);
    Label3->setGeometry(twipsRect(1320, 540, 690, 195));
    BPASSWORT = new QLineEdit(this);
    BPASSWORT->setGeometry(twipsRect(2280, 525, 1455, 285));
    BPASSWORT->setEchoMode(QLineEdit::Password);
    // Every typed character shows as "*", whatever the style would draw.
    BPASSWORT->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    BUServer = makeButton(QStringLiteral("Server"), QStyle::SP_ComputerIcon, this);
    BUServer->setGeometry(twipsRect(120, 480, 1095, 375));
    BUSpeich = makeButton(QStringLiteral("Anmelden"), QStyle::SP_DialogOkButton, this);
    BUSpeich->setGeometry(twipsRect(120, 960, 1695, 375));
    BUAusst = makeButton(QStringLiteral("Abbruch"), QStyle::SP_DialogCancelButton, this);
    BUAusst->setGeometry(twipsRect(2160, 960, 1695, 375));
    // Enter in a text box signs in.
    BUSpeich->setDefault(true);
    fitLabelToText(Label5, 2280 - 30);
    fitLabelToText(Label3, 2280 - 30);

    Label5->setObjectName(QStringLiteral("Label5"));
    BUSER->setObjectName(QStringLiteral("BUSER"));
    Label3->setObjectName(QStringLiteral("Label3"));
    BPASSWORT->setObjectName(QStringLiteral("BPASSWORT"));
    BUServer->setObjectName(QStringLiteral("BUServer"));
    BUSpeich->setObjectName(QStringLiteral("BUSpeich"));
    BUAusst->setObjectName(QStringLiteral("BUAusst"));

    // A screen reader names each box by its label; the focus shows from the first moment.
    Label5->setBuddy(BUSER);
    Label3->setBuddy(BPASSWORT);
    VisibleFocus::install(*this);

    // The password comes first: the user code is usually filled in already.
    setTabOrder(BPASSWORT, BUSER);
    setTabOrder(BUSER, BUSpeich);
    setTabOrder(BUSpeich, BUAusst);
    setTabOrder(BUAusst, BUServer);

    BUSER->installEventFilter(this);
    BPASSWORT->installEventFilter(this);
    // The program never writes the password box, so any change of its text is the user's.
    connect(BPASSWORT, &QLineEdit::textChanged, this, [this] { m_passwordEntered = true; });
    connect(BUSpeich, &QPushButton::clicked, this, &FMPass::BUSpeich_Click);
    connect(BUAusst, &QPushButton::clicked, this, &FMPass::BUAusst_Click);
    connect(BUServer, &QPushButton::clicked, this, &FMPass::BUServer_Click);
}

FMPass::~FMPass() {
    if (m_waitingForAccess) {
        m_api.connection().gate().cancel(this);
        m_api.connection().busyCursor().end();
    }
}

void FMPass::Form_Load() {
    // The cursor starts in the password box when the dialog first appears.
    BPASSWORT->setFocus(Qt::OtherFocusReason);
}

void FMPass::Sichern() {
    namespace S = LoginSettings;
    const ConnectionBoxes boxes = m_api.forms().connectionBoxes();
    SettingsStore& store = m_api.platform().settings;
    store.save(S::App, S::Section, S::KeyFirma, boxes.firma);
    store.save(S::App, S::Section, S::KeyFiliale, boxes.filiale);
    store.save(S::App, S::Section, S::KeyName, BUSER->text());
    store.save(S::App, S::Section, S::KeyServer, boxes.server);
    store.save(S::App, S::Section, S::KeyPort, boxes.port);
    store.save(S::App, S::Section, S::KeyNamespace, boxes.nameSpace);
}

void FMPass::Form_Activate() {
    if (BPASSWORT->isEnabled() && BPASSWORT->isVisible()) {
        BPASSWORT->setFocus(Qt::ActiveWindowFocusReason);
    }
}

void FMPass::Form_GotFocus() {
    BPASSWORT->setFocus(Qt::OtherFocusReason);
}

void FMPass::BUSER_GotFocus() {
    SelectAllText(*BUSER, true);
}

void FMPass::BPASSWORT_GotFocus() {
    SelectAllText(*BPASSWORT, true);
}

void FMPass::BUSER_LostFocus() {
    BUSER->setText(BUSER->text().toUpper());
}

void FMPass::BUSpeich_Click() {
    // The dialog stays usable while its sign-in waits for the server; a second click must not
    // start another sign-in in the middle of this one.
    if (m_signingIn) {
        return;
    }
    Connection& connection = m_api.connection();
    if (m_host.mainWindowVisible() && connection.gate().busy()) {
        // A monitor is talking to the server (this click was let in by its wait): the sign-in
        // follows as soon as that access is over, the busy pointer shows until then.
        if (!m_waitingForAccess) {
            m_waitingForAccess = true;
            connection.busyCursor().begin();
            connection.gate().runWhenIdle(this, [this] {
                m_waitingForAccess = false;
                m_api.connection().busyCursor().end();
                BUSpeich_Click();
            });
        }
        return;
    }
    const QScopedValueRollback<bool> busy(m_signingIn, true);
    Sichern();
    if (m_host.mainWindowVisible()) {
        const SignInState& state = m_api.state();
        connection.DisconnectCache();
        m_signIn.CheckLogin();
        // The same rule as at start-up: below rights group 8 the program ends.
        m_host.enforceRightsGroup();
        // The caption is rebuilt whatever the outcome.
        m_host.setMainWindowCaption(QStringLiteral("LORVEX Korrespondenz              Firma: ") +
                                    state.gFirma + QStringLiteral("     Filiale: ") +
                                    state.gFiliale + QStringLiteral("     Benutzer: ") +
                                    state.gBenutzerName);
    }
    m_api.platform().events.processEvents();
    setVisible(false);
    hide();
}

void FMPass::BUAusst_Click() {
    m_api.state().gBenutzer.clear();
    m_api.helpers().UnloadAllAndEnd();
}

void FMPass::reject() {
    // Escape: the user wants out, never a sign-in.
    BUAusst_Click();
}

void FMPass::BUServer_Click() {
    QDialog& server = m_host.serverDialogWindow();
    // Owned by this dialog while it is shown, then handed back to whoever owned it before.
    QPointer<QDialog> guard(&server);
    QPointer<QWidget> previousOwner = server.parentWidget();
    const Qt::WindowFlags flags = server.windowFlags();
    server.setParent(this, flags);
    server.exec();
    if (guard) {
        guard->setParent(previousOwner, flags);
    }
}

bool FMPass::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) {
        Form_Activate();
    }
    return QDialog::event(event);
}

bool FMPass::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        if (watched == BUSER) {
            BUSER_GotFocus();
        } else if (watched == BPASSWORT) {
            BPASSWORT_GotFocus();
        }
        // The press that gave the focus places the caret right after this; select again once
        // the click is over, so typing still replaces the whole text.
        if (static_cast<QFocusEvent*>(event)->reason() == Qt::MouseFocusReason) {
            m_selectAfterClick = watched;
        }
    }
    if (event->type() == QEvent::MouseButtonRelease && watched == m_selectAfterClick) {
        m_selectAfterClick = nullptr;
        if (watched == BUSER) {
            BUSER_GotFocus();
        } else if (watched == BPASSWORT) {
            BPASSWORT_GotFocus();
        }
    }
    if (event->type() == QEvent::FocusOut && watched == m_selectAfterClick) {
        m_selectAfterClick = nullptr;
    }
    if (event->type() == QEvent::FocusOut && watched == BUSER) {
        BUSER_LostFocus();
    }
    return QDialog::eventFilter(watched, event);
}

void FMPass::focusInEvent(QFocusEvent* event) {
    QDialog::focusInEvent(event);
    Form_GotFocus();
}

void FMPass::keyPressEvent(QKeyEvent* event) {
    // Enter in the user box signs in with the text as it will read once the focus leaves.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        focusWidget() == BUSER) {
        BUSER_LostFocus();
    }
    QDialog::keyPressEvent(event);
}

void FMPass::closeEvent(QCloseEvent* event) {
    // The close box does what "Abbruch" does; hiding the dialog would let a waiting sign-in go
    // on with whatever the boxes hold. A close from code (the end of the program) goes through.
    if (event->spontaneous()) {
        event->ignore();
        BUAusst_Click();
        return;
    }
    QDialog::closeEvent(event);
}
