#include "shell/PrintMode.h"

#include "access/CacheApi.h"
#include "access/ErrorTexts.h"
#include "access/TlsSettings.h"
#include "monitors/MonitorRefresh.h"
#include "objectclient/CacheError.h"
#include "objectclient/TcpCacheFactory.h"
#include "platform/ListExport.h"
#include "shell/HeadlessAbort.h"
#include "shell/HeadlessDesktop.h"
#include "shell/HeadlessFormHost.h"
#include "signin/RightsGroup.h"
#include "signin/SignIn.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <cstdio>
#include <optional>

namespace {

bool isPlainNumber(const QString& text) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    return digits.match(text).hasMatch();
}

const QStringList Formats{QStringLiteral("text"), QStringLiteral("csv"), QStringLiteral("json")};

// Takes "--format X" or "--format=X" out of the arguments; empty when a format is missing or
// given twice.
std::optional<QString> takeFormat(QStringList& arguments) {
    QString format;
    for (qsizetype i = 0; i < arguments.size();) {
        const QString& argument = arguments.at(i);
        QString value;
        if (argument == QLatin1String("--format")) {
            if (i + 1 >= arguments.size()) {
                return std::nullopt;
            }
            value = arguments.at(i + 1);
            arguments.remove(i, 2);
        } else if (argument.startsWith(QLatin1String("--format="))) {
            value = argument.mid(9);
            arguments.remove(i);
        } else {
            ++i;
            continue;
        }
        if (!format.isEmpty()) {
            return std::nullopt;
        }
        format = value.toLower();
    }
    return format.isEmpty() ? QStringLiteral("text") : format;
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
                          "[SERVER [PORT [NAMESPACE]]] [--format text|csv|json]\n"
                          "PASSWORT \"-\" liest das Passwort aus der ersten Zeile der "
                          "Standardeingabe.");
}

int PrintMode::run(const QStringList& givenArguments) {
    QStringList arguments = givenArguments;
    const std::optional<QString> format = takeFormat(arguments);
    if (!format || !Formats.contains(*format)) {
        return fail(ExitUsage,
                    QStringLiteral("Unbekanntes oder doppeltes --format (text, csv oder json).\n") +
                        usage());
    }
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
    QStringList signInFields = arguments.mid(1);
    if (signInFields.at(3) == QLatin1String("-")) {
        const QString password = m_in ? m_in->readLine() : QString();
        if (password.isEmpty()) {
            return fail(ExitUsage,
                        QStringLiteral("Kein Passwort auf der Standardeingabe.\n") + usage());
        }
        signInFields[3] = password;
    }
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

    QList<QStringList> rows;
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
                                    .arg(ErrorTexts::forLog(error.number(), error.description())));
    } catch (const ProgramEnded&) {
        return fail(ExitFailed, QStringLiteral("Die Anmeldung wurde abgebrochen."));
    }

    print(kind.columns, rows, *format);
    return ExitOk;
}

void PrintMode::print(const QStringList& columns, const QList<QStringList>& rows,
                      const QString& format) {
    if (format == QLatin1String("text")) {
        m_out << ListExport::terminalLines(rows);
    } else if (format == QLatin1String("csv")) {
        // The stream writes the byte-order mark itself, before the text without it.
        m_out.setGenerateByteOrderMark(true);
        m_out << QString::fromUtf8(ListExport::csv(columns, rows).mid(3));
    } else {
        m_out << QString::fromUtf8(ListExport::json(columns, rows));
    }
    m_out.flush();
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
    QTextStream in(stdin);
    PrintMode mode(desktop.platform(),
                   tcpCacheFactoryCreator({}, loadTcpSecurity(desktop.platform().settings)), out,
                   err);
    mode.setPasswordInput(in);
    return mode.run(arguments);
}
