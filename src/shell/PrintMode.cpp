#include "shell/PrintMode.h"

#include "access/CacheApi.h"
#include "access/TlsSettings.h"
#include "cache/CacheError.h"
#include "cache/TcpCacheFactory.h"
#include "monitors/MonitorRefresh.h"
#include "shell/HeadlessAbort.h"
#include "shell/HeadlessDesktop.h"
#include "shell/HeadlessFormHost.h"
#include "signin/RightsGroup.h"
#include "signin/SignIn.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <cstdio>

namespace {

bool isPlainNumber(const QString& text) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    return digits.match(text).hasMatch();
}

} // namespace

PrintMode::PrintMode(Platform& platform, CacheFactoryCreator createFactory, QTextStream& out,
                     QTextStream& err, QLocale locale)
    : m_platform(platform)
    , m_createFactory(std::move(createFactory))
    , m_out(out)
    , m_err(err)
    , m_locale(std::move(locale)) {
}

QString PrintMode::usage() {
    return QStringLiteral("Aufruf: lorvex-monitor --print kassa|zeit FIRMA FILIALE USER PASSWORT "
                          "[SERVER [PORT [NAMESPACE]]]");
}

int PrintMode::run(const QStringList& arguments) {
    // The monitor, then the program's usual sign-in fields (the namespace is taken but, as in
    // the window program, does not enter the connection).
    if (arguments.size() < 5 || arguments.size() > 8) {
        return fail(ExitUsage, usage());
    }
    const QString which = arguments.first().toLower();
    if (which != QLatin1String("kassa") && which != QLatin1String("zeit")) {
        return fail(ExitUsage, QStringLiteral("Unbekannter Monitor \"%1\" (kassa oder zeit).\n")
                                       .arg(arguments.first()) +
                                   usage());
    }
    const QStringList signInFields = arguments.mid(1);
    for (const QString& field : signInFields) {
        // The sign-in data travel as one blank-separated command line.
        if (field.isEmpty() || field.contains(QLatin1Char(' '))) {
            return fail(ExitUsage, QStringLiteral("Die Anmeldedaten dürfen weder leer sein noch "
                                                  "Leerzeichen enthalten.\n") +
                                       usage());
        }
    }
    if (!isPlainNumber(signInFields.at(0)) || !isPlainNumber(signInFields.at(1))) {
        return fail(ExitUsage, QStringLiteral("FIRMA und FILIALE müssen Zahlen sein.\n") + usage());
    }

    SignInState state;
    HeadlessFormHost forms(m_platform.timers);
    CacheApi api(state, m_platform, forms, m_createFactory);
    api.connection().setFailFast(true);
    const MonitorKind kind =
        which == QLatin1String("kassa") ? MonitorKind::kassa() : MonitorKind::zeiterfassung();

    QStringList rows;
    try {
        SignIn signIn(api, signInFields.join(QLatin1Char(' ')));
        if (!signIn.CheckLogin()) {
            return fail(ExitFailed, QStringLiteral("Anmeldung fehlgeschlagen."));
        }
        if (!rightsGroupPasses(state.gBerGrp, m_locale)) {
            api.connection().DisconnectCache();
            return fail(ExitFailed,
                        QStringLiteral("Keine Berechtigung: Berechtigungsgruppe \"%1\" liegt "
                                       "unter 8.")
                            .arg(state.gBerGrp));
        }
        MonitorRefresh refresh(api, kind, m_locale);
        rows = refresh.fetchRows();
        api.connection().DisconnectCache();
    } catch (const HeadlessAbort& abort) {
        return fail(ExitFailed, abort.message);
    } catch (const CacheError& error) {
        api.connection().DisconnectCache();
        return fail(ExitFailed, QStringLiteral("Serverzugriff fehlgeschlagen: Fehler %1: %2")
                                    .arg(error.number())
                                    .arg(error.description()));
    } catch (const ProgramEnded&) {
        return fail(ExitFailed, QStringLiteral("Die Anmeldung wurde abgebrochen."));
    }

    for (const QString& row : rows) {
        m_out << row << '\n';
    }
    m_out.flush();
    return ExitOk;
}

int PrintMode::fail(int exitCode, const QString& message) {
    m_err << message << '\n';
    m_err.flush();
    return exitCode;
}

int runPrintMode(const QStringList& arguments) {
    static int argc = 1;
    static char name[] = "lorvex-monitor";
    static char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("LORVEX Monitor"));

    HeadlessDesktop desktop;
    QTextStream out(stdout);
    QTextStream err(stderr);
    PrintMode mode(desktop.platform(),
                   tcpCacheFactoryCreator({}, loadTcpSecurity(desktop.platform().settings)), out,
                   err);
    return mode.run(arguments);
}
