#include "TestDatabase.h"

#include "PostgresCluster.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>

namespace {

bool seedDemo(const QString& database, const QProcessEnvironment& environment) {
    QProcess seed;
    seed.setProcessEnvironment(environment);
    seed.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    seed.setStandardOutputFile(QProcess::nullDevice());
    seed.start(QStringLiteral(LORVEX_SERVER_EXECUTABLE),
               {QStringLiteral("--db"), database, QStringLiteral("seed-demo")});
    return seed.waitForFinished(60000) && seed.exitStatus() == QProcess::NormalExit &&
           seed.exitCode() == 0;
}

QString sqliteTemplate() {
    static QTemporaryDir dir;
    static const QString path = [] {
        const QString file = dir.filePath(QStringLiteral("demo.db"));
        return seedDemo(file, QProcessEnvironment::systemEnvironment()) ? file : QString();
    }();
    return path;
}

QString uniqueName(const char* kind) {
    static int serial = 0;
    return QStringLiteral("lx_%1_%2_%3")
        .arg(QLatin1String(kind))
        .arg(QCoreApplication::applicationPid())
        .arg(++serial);
}

void dropPostgresTemplate();

QString postgresTemplate() {
    static const QString name = []() -> QString {
        const PostgresCluster* cluster = PostgresCluster::forTests();
        const QString database = uniqueName("demo");
        QString error;
        if (!cluster->execute(QStringLiteral("CREATE DATABASE %1").arg(database), &error)) {
            qWarning("no demo template: %s", qPrintable(error));
            return {};
        }
        qAddPostRoutine(dropPostgresTemplate);
        if (!seedDemo(cluster->url(database), cluster->environment())) {
            qWarning("seed-demo failed on %s", qPrintable(cluster->url(database)));
            cluster->execute(QStringLiteral("DROP DATABASE %1 WITH (FORCE)").arg(database));
            return {};
        }
        return database;
    }();
    return name;
}

void dropPostgresTemplate() {
    if (!postgresTemplate().isEmpty()) {
        PostgresCluster::forTests()->execute(
            QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(postgresTemplate()));
    }
}

} // namespace

TestDatabase::TestDatabase() = default;

TestDatabase::~TestDatabase() {
    if (!m_postgresName.isEmpty()) {
        PostgresCluster::forTests()->execute(
            QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_postgresName));
    }
}

bool TestDatabase::usesPostgres() {
    return PostgresCluster::forTests() != nullptr;
}

bool TestDatabase::create() {
    if (m_created) {
        return true;
    }
    if (!m_dir.isValid()) {
        m_errorText = QStringLiteral("no temporary directory");
        return false;
    }
    if (!usesPostgres()) {
        if (!sqliteTemplate().isEmpty()) {
            QFile::copy(sqliteTemplate(), filePath());
        }
        m_created = true;
        return true;
    }
    const QString name = uniqueName("test");
    const QString demo = postgresTemplate();
    const QString sql = demo.isEmpty()
                            ? QStringLiteral("CREATE DATABASE %1").arg(name)
                            : QStringLiteral("CREATE DATABASE %1 TEMPLATE %2").arg(name, demo);
    if (!PostgresCluster::forTests()->execute(sql, &m_errorText)) {
        return false;
    }
    m_postgresName = name;
    m_created = true;
    return true;
}

QString TestDatabase::argument() const {
    return usesPostgres() ? PostgresCluster::forTests()->url(m_postgresName) : filePath();
}

QString TestDatabase::filePath() const {
    return usesPostgres() ? QString() : m_dir.filePath(QStringLiteral("lorvex.db"));
}

QProcessEnvironment TestDatabase::environment() const {
    return usesPostgres() ? PostgresCluster::forTests()->environment()
                          : QProcessEnvironment::systemEnvironment();
}

QByteArray TestDatabase::contents() const {
    if (usesPostgres()) {
        return PostgresCluster::forTests()->dump(m_postgresName);
    }
    // The write-ahead log too: recent writes are there until a checkpoint.
    QByteArray bytes;
    for (const QString& path : {filePath(), filePath() + QStringLiteral("-wal")}) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            bytes += file.readAll();
        }
    }
    return bytes;
}
