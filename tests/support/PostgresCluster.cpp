#include "PostgresCluster.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

namespace {

QString firstLineOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readLine()).trimmed();
}

// Runs a helper program to its end; false when it failed or took longer than timeoutMs.
bool runToEnd(QProcess& process, const QString& program, const QStringList& arguments,
              int timeoutMs, QString* error) {
    process.start(program, arguments);
    const bool ended = process.waitForStarted(5000) && process.waitForFinished(timeoutMs);
    if (ended && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0) {
        return true;
    }
    if (!ended) {
        process.kill();
        process.waitForFinished(5000);
    }
    if (error) {
        *error = QStringLiteral("%1 failed: %2 %3")
                     .arg(program, process.errorString(),
                          QString::fromUtf8(process.readAllStandardError()));
    }
    return false;
}

} // namespace

const PostgresCluster* PostgresCluster::forTests() {
    static const PostgresCluster* const cluster = []() -> const PostgresCluster* {
        static PostgresCluster found;
        const QString directory = qEnvironmentVariable("LORVEX_TEST_POSTGRES_DIR");
        if (!directory.isEmpty()) {
            found.m_directory = QDir(directory).absolutePath();
            found.m_baseUrl = firstLineOf(found.m_directory + QStringLiteral("/url"));
            found.m_password = firstLineOf(found.m_directory + QStringLiteral("/password"));
            if (found.m_baseUrl.isEmpty()) {
                qFatal("LORVEX_TEST_POSTGRES_DIR=%s holds no started cluster",
                       qPrintable(directory));
            }
            return &found;
        }
        found.m_baseUrl = qEnvironmentVariable("LORVEX_TEST_POSTGRES");
        found.m_password = qEnvironmentVariable("PGPASSWORD");
        return found.m_baseUrl.isEmpty() ? nullptr : &found;
    }();
    return cluster;
}

QString PostgresCluster::url(const QString& database) const {
    return m_baseUrl + QLatin1Char('/') + database;
}

QProcessEnvironment PostgresCluster::environment() const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PGPASSWORD"), m_password);
    return environment;
}

QSqlDatabase PostgresCluster::connect(const QString& database,
                                      const QString& connectionName) const {
    const QUrl base(m_baseUrl);
    QSqlDatabase connection = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connectionName);
    connection.setHostName(base.host());
    connection.setPort(base.port(5432));
    connection.setUserName(base.userName());
    connection.setPassword(m_password);
    connection.setDatabaseName(database);
    connection.open();
    return connection;
}

bool PostgresCluster::execute(const QString& sql, QString* error, const QString& database) const {
    static int serial = 0;
    const QString name = QStringLiteral("lorvex_test_cluster_%1").arg(++serial);
    bool ok = false;
    {
        QSqlDatabase connection = connect(database, name);
        QSqlQuery query(connection);
        ok = connection.isOpen() && query.exec(sql);
        if (!ok && error) {
            *error = connection.isOpen() ? query.lastError().text() : connection.lastError().text();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

QByteArray PostgresCluster::dump(const QString& database) const {
    QProcess pgDump;
    pgDump.setProcessEnvironment(environment());
    QString error;
    if (!runToEnd(pgDump, QStringLiteral("pg_dump"), {QStringLiteral("--dbname"), url(database)},
                  30000, &error)) {
        qWarning("%s", qPrintable(error));
        return {};
    }
    return pgDump.readAllStandardOutput();
}

bool PostgresCluster::restart(QString* error) const {
    return runScript(QStringLiteral("restart"), error);
}

bool PostgresCluster::pause(QString* error) const {
    return runScript(QStringLiteral("pause"), error);
}

bool PostgresCluster::resume(QString* error) const {
    return runScript(QStringLiteral("resume"), error);
}

bool PostgresCluster::hang(QString* error) const {
    return runScript(QStringLiteral("hang"), error);
}

bool PostgresCluster::unhang(QString* error) const {
    return runScript(QStringLiteral("unhang"), error);
}

QString PostgresCluster::startStandby(QString* error) const {
    if (!runScript(QStringLiteral("standby"), error)) {
        return {};
    }
    QFile file(QDir(m_directory).filePath(QStringLiteral("standby")));
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) {
            *error = QStringLiteral("the standby's address was not written");
        }
        return {};
    }
    return QString::fromUtf8(file.readAll()).trimmed();
}

bool PostgresCluster::promoteStandby(QString* error) const {
    return runScript(QStringLiteral("promote"), error);
}

bool PostgresCluster::dropStandby(QString* error) const {
    return runScript(QStringLiteral("unstandby"), error);
}

bool PostgresCluster::runScript(const QString& action, QString* error) const {
    if (m_directory.isEmpty()) {
        if (error) {
            *error = QStringLiteral("the cluster was not started by pg-test-cluster.sh");
        }
        return false;
    }
    QProcess script;
    return runToEnd(script, QStringLiteral("bash"),
                    {QStringLiteral(LORVEX_PG_TEST_CLUSTER_SCRIPT), action, m_directory}, 90000,
                    error);
}
