#include "shell/FMStart.h"

#include "access/SignInState.h"
#include "platform/ProcessEnd.h"
#include "platform/Twips.h"
#include "shell/AppIcons.h"
#include "shell/MainWindowHost.h"
#include "shell/ProgramCaption.h"
#include "signin/RightsGroup.h"

#include <QAction>
#include <QCloseEvent>
#include <QMenuBar>
#include <QPushButton>

FMStart::FMStart(Services services, QWidget* parent)
    : QMainWindow(parent)
    , m_services(std::move(services)) {
    setObjectName(QStringLiteral("FMStart"));
    setWindowIcon(AppIcons::mainWindow());
    buildButtons();
    buildMenus();
    // Client area below the menu bar as laid out; the border stays sizable.
    resize(twipsToPixels(9420), twipsToPixels(6180) + menuBar()->sizeHint().height());
}

void FMStart::buildButtons() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);
    const std::array<QRect, 2> places{twipsRect(120, 240, 1695, 375),
                                      twipsRect(120, 720, 1695, 375)};
    for (int index = 0; index < kProgramCount; ++index) {
        auto* button = new QPushButton(client);
        button->setObjectName(QStringLiteral("cmdUnterprogramm_%1").arg(index));
        button->setGeometry(places.at(index));
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, index] {
            guarded([this, index] { cmdUnterprogramm_Click(static_cast<qint16>(index)); });
        });
        cmdUnterprogramm.at(index) = button;
    }
    setTabOrder(cmdUnterprogramm[0], cmdUnterprogramm[1]);
}

void FMStart::buildMenus() {
    Datei = menuBar()->addMenu(QStringLiteral("&Datei"));
    mLogin = Datei->addAction(QStringLiteral("&Login"));
    nil = Datei->addSeparator();
    Beenden = Datei->addAction(QStringLiteral("&Beenden"));

    HProgramme = menuBar()->addMenu(QStringLiteral("&Programme"));
    for (int index = 0; index < kProgramCount; ++index) {
        QAction* item = HProgramme->addAction(QString());
        connect(item, &QAction::triggered, this, [this, index] {
            guarded([this, index] { mProgramme_Click(static_cast<qint16>(index)); });
        });
        mProgramme.at(index) = item;
    }
    HProgramme->addSeparator();
    mEinstellungen = HProgramme->addAction(QStringLiteral("&Einstellungen ..."));
    connect(mEinstellungen, &QAction::triggered, this,
            [this] { guarded([this] { mEinstellungen_Click(); }); });

    Hilfe = menuBar()->addMenu(QStringLiteral("&Hilfe"));
    HilfeUeber = Hilfe->addAction(QStringLiteral("Hilfe &über ..."));
    HilfeUeber->setShortcut(QKeySequence(Qt::Key_F1));
    mProgrammverlauf = Hilfe->addAction(QStringLiteral("Programmverlauf"));
    mProgrammverlauf->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F1));

    connect(mLogin, &QAction::triggered, this, [this] { guarded([this] { mLogin_Click(); }); });
    connect(Beenden, &QAction::triggered, this, [this] { guarded([this] { Beenden_Click(); }); });
    connect(HilfeUeber, &QAction::triggered, this,
            [this] { guarded([this] { HilfeUeber_Click(); }); });
    connect(mProgrammverlauf, &QAction::triggered, this,
            [this] { guarded([this] { mProgrammverlauf_Click(); }); });
}

QString FMStart::startCaption(const QString& firma, const QString& filiale,
                              const QString& benutzer) {
    return QStringLiteral("LORVEX Monitor              Firma: ") + firma +
           QStringLiteral("     Filiale: ") + filiale + QStringLiteral("     Benutzer: ") +
           benutzer;
}

void FMStart::Form_Load() {
    SignInState& state = m_services.state;
    do {
        state.gCommandLine = m_services.commandLine;
    } while (!m_services.CheckLogin());

    if (!enforceRightsGroup()) {
        return;
    }

    setWindowTitle(startCaption(state.gFirma, state.gFiliale, state.gBenutzer));
    for (int index = 0; index < kProgramCount; ++index) {
        cmdUnterprogramm.at(index)->setText(ProgramCaption(index));
        mProgramme.at(index)->setText(ProgramCaption(index));
    }
    cmdUnterprogramm[0]->setFocus(Qt::OtherFocusReason);
}

bool FMStart::enforceRightsGroup() {
    if (rightsGroupPasses(m_services.state.gBerGrp)) {
        return true;
    }
    // Dropped without a message; the program ends as failed.
    m_exitCode = ExitCode::Failure;
    qint16 cancel = 0;
    Form_Unload(cancel);
    return false;
}

void FMStart::Form_Unload(qint16& Cancel) {
    // The main window never refuses to close.
    Q_UNUSED(Cancel);
    m_services.DisconnectCache();
    m_services.UnloadAllAndEnd(m_exitCode);
}

void FMStart::cmdUnterprogramm_Click(qint16 Index) {
    switch (Index) {
    case kProgramZeiterfassung:
        m_services.windows.showTimeClockMonitor(this);
        break;
    case kProgramKassa:
        m_services.windows.showCashRegisterMonitor(this);
        break;
    default:
        break;
    }
}

void FMStart::mProgramme_Click(qint16 Index) {
    cmdUnterprogramm_Click(Index);
}

void FMStart::mLogin_Click() {
    m_services.windows.showSignInDialog(this);
}

void FMStart::mProgrammverlauf_Click() {
    m_services.windows.showProgramLog(this);
}

void FMStart::HilfeUeber_Click() {
    m_services.windows.showAbout();
}

void FMStart::mEinstellungen_Click() {
    m_services.windows.showSettings(this);
}

void FMStart::Beenden_Click() {
    m_services.windows.unloadWindow(this);
}

void FMStart::closeEvent(QCloseEvent* event) {
    event->accept();
    // Closed by the registry: the unload handler has run already.
    if (m_services.windows.isUnloading(this)) {
        return;
    }
    guarded([this] { m_services.windows.unloadWindow(this); });
}

void FMStart::guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const ProgramEnded&) {
        // Only a test's process end returns here; the real one never comes back.
    }
}
