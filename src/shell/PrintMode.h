#pragma once

#include "objectclient/CacheFactory.h"

#include <QLocale>
#include <QStringList>
#include <QTextStream>

struct Platform;

// One refresh of a monitor without any window: signs in with the data given, checks the
// rights group, reads the monitor once and prints its list rows, one per line. Every failure
// is reported on the error stream at once, without boxes or retries.
class PrintMode {
public:
    static constexpr int ExitOk = 0;
    static constexpr int ExitFailed = 1;
    static constexpr int ExitUsage = 2;

    PrintMode(Platform& platform, CacheFactoryCreator createFactory, QTextStream& out,
              QTextStream& err, QLocale locale = QLocale::system());

    // arguments: kassa|zeit FIRMA FILIALE USER PASSWORT [SERVER [PORT [NAMESPACE]]], and
    // anywhere among them "--format text|csv|json". PASSWORT "-" reads the password as the
    // first line of the password input, so that it does not show in the process list.
    int run(const QStringList& arguments);
    void setPasswordInput(QTextStream& in) { m_in = &in; }

    static QString usage();

private:
    int fail(int exitCode, const QString& message);
    void print(const QStringList& columns, const QList<QStringList>& rows, const QString& format);

    Platform& m_platform;
    CacheFactoryCreator m_createFactory;
    QTextStream& m_out;
    QTextStream& m_err;
    QTextStream* m_in = nullptr;
    QLocale m_locale;
};

// The executable's entry for "--print": arguments are everything after it. Needs no display.
int runPrintMode(const QStringList& arguments);
