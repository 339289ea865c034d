#include "ServerProcess.h"

#include "TestDatabase.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>

#include <fcntl.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

ServerProcess::ServerProcess(QStringList extraArguments, QString program)
    : m_extraArguments(std::move(extraArguments))
    , m_program(std::move(program))
    , m_database(std::make_shared<TestDatabase>()) {
}

ServerProcess::~ServerProcess() {
    stop();
    if (m_logPipe >= 0) {
        ::close(m_logPipe);
    }
}

bool ServerProcess::restrictToCpus(const QList<int>& cpus) {
    if (cpus.isEmpty()) {
        return true;
    }
    cpu_set_t set;
    CPU_ZERO(&set);
    for (const int cpu : cpus) {
        CPU_SET(cpu, &set);
    }
    return ::sched_setaffinity(0, sizeof set, &set) == 0;
}

void ServerProcess::readLogOnlyWhenAsked() {
    const QByteArray path = QFile::encodeName(logPath());
    if (m_logPipe >= 0 || ::mkfifo(path.constData(), 0600) != 0) {
        return;
    }
    m_logPipe = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ::fcntl(m_logPipe, F_SETPIPE_SZ, 4096);
}

QString ServerProcess::executable() {
    return QStringLiteral(LORVEX_SERVER_EXECUTABLE);
}

QString ServerProcess::databaseArgument() const {
    QString argument = m_database->argument();
    if (!m_alsoListedHost.isEmpty()) {
        const qsizetype pathStart = argument.indexOf('/', argument.indexOf('@'));
        argument.insert(pathStart, ',' + m_alsoListedHost);
        argument += QStringLiteral("?target_session_attrs=read-write");
    }
    return argument;
}

QString ServerProcess::databasePath() const {
    return m_database->filePath();
}

QByteArray ServerProcess::databaseContents() const {
    return m_database->contents();
}

bool ServerProcess::usesPostgres() {
    return TestDatabase::usesPostgres();
}

void ServerProcess::shareDatabaseWith(const ServerProcess& other) {
    m_database = other.m_database;
}

QString ServerProcess::connectString(const QString& nameSpace) const {
    return QStringLiteral("cn_iptcp:127.0.0.1[%1]:%2").arg(m_port).arg(nameSpace);
}

QString ServerProcess::servingThreads() {
    // Two unless a test run asks otherwise, whatever the machine: sessions on several threads
    // are what a real server does on any machine with more than one core.
    const QString asked = qEnvironmentVariable("LORVEX_TEST_SERVING_THREADS");
    return asked.isEmpty() ? QStringLiteral("2") : asked;
}

bool ServerProcess::start(int timeoutMs) {
    if (!m_dir.isValid()) {
        m_errorText = QStringLiteral("no temporary directory");
        return false;
    }
    if (!m_database->create()) {
        m_errorText = m_database->errorText();
        return false;
    }
    const quint16 port = m_port;
    m_port = 0;
    m_process.setProgram(m_program);
    m_process.setProcessEnvironment(m_database->environment());
    QStringList arguments{QStringLiteral("--db"), databaseArgument(), QStringLiteral("--demo"),
                          QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(port)};
    // Another build (a benchmark's baseline) may not know the option.
    if (m_program == executable() &&
        !m_extraArguments.contains(QLatin1String("--serving-threads"))) {
        arguments << QStringLiteral("--serving-threads") << servingThreads();
    }
    m_process.setArguments(arguments + m_extraArguments);
    // The log goes to a file: a pipe nobody reads would stall a busy server.
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(logPath());
    const int descriptors = m_descriptorLimit;
    m_process.setChildProcessModifier([descriptors, cpus = m_cpus] {
        if (descriptors > 0) {
            const rlimit limit{rlim_t(descriptors), rlim_t(descriptors)};
            ::setrlimit(RLIMIT_NOFILE, &limit);
        }
        restrictToCpus(cpus);
    });
    m_process.start();
    if (!m_process.waitForStarted(timeoutMs)) {
        m_errorText =
            QStringLiteral("lorvex-server did not start: %1").arg(m_process.errorString());
        return false;
    }
    static const QRegularExpression listening(
        QStringLiteral("lorvex-server: listening on 127\\.0\\.0\\.1:(\\d+)"));
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        const QRegularExpressionMatch match = listening.match(log());
        if (match.hasMatch()) {
            m_port = static_cast<quint16>(match.captured(1).toUInt());
            return true;
        }
        if (m_process.waitForFinished(20)) {
            break;
        }
    }
    m_errorText = QStringLiteral("lorvex-server did not report its port; its log: %1").arg(log());
    kill();
    return false;
}

bool ServerProcess::restart(int timeoutMs) {
    const quint16 port = m_port;
    stop();
    m_port = port;
    return start(timeoutMs);
}

bool ServerProcess::stop() {
    if (m_process.state() == QProcess::NotRunning) {
        return false;
    }
    m_process.terminate();
    // Its own limit for a stop is 10 s.
    if (!m_process.waitForFinished(15000)) {
        kill();
    }
    if (m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0) {
        return true;
    }
    qWarning("lorvex-server did not stop cleanly (%s %d); its log ends: %s",
             m_process.exitStatus() == QProcess::CrashExit ? "signal" : "status",
             m_process.exitCode(), qPrintable(log().right(400)));
    return false;
}

void ServerProcess::kill() {
    if (m_process.state() == QProcess::NotRunning) {
        return;
    }
    m_process.kill();
    m_process.waitForFinished(5000);
}

std::unique_ptr<QProcess> ServerProcess::startAdmin(const QStringList& args) {
    if (!m_database->create()) {
        m_adminOutput = m_database->errorText();
        return nullptr;
    }
    auto admin = std::make_unique<QProcess>();
    admin->setProcessChannelMode(QProcess::MergedChannels);
    admin->setProcessEnvironment(m_database->environment());
    admin->start(m_program, QStringList{QStringLiteral("--db"), databaseArgument()} + args);
    if (!admin->waitForStarted(10000)) {
        m_adminOutput = admin->errorString();
        return nullptr;
    }
    return admin;
}

int ServerProcess::runAdmin(const QStringList& args, const QByteArray& standardInput) {
    const std::unique_ptr<QProcess> admin = startAdmin(args);
    if (!admin) {
        return -1;
    }
    admin->write(standardInput);
    admin->closeWriteChannel();
    if (!admin->waitForFinished(30000)) {
        admin->kill();
        admin->waitForFinished(5000);
        m_adminOutput = QString::fromUtf8(admin->readAll());
        return -1;
    }
    m_adminOutput = QString::fromUtf8(admin->readAll());
    return admin->exitStatus() == QProcess::NormalExit ? admin->exitCode() : -1;
}

qint64 ServerProcess::residentKiB() const {
    QFile status(QStringLiteral("/proc/%1/status").arg(m_process.processId()));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
        }
    }
    return 0;
}

QString ServerProcess::logPath() const {
    return m_dir.filePath(QStringLiteral("server.log"));
}

QString ServerProcess::log() const {
    if (m_logPipe >= 0) {
        char buffer[4096];
        ssize_t n = 0;
        while ((n = ::read(m_logPipe, buffer, sizeof buffer)) > 0) {
            m_pipedLog.append(buffer, n);
        }
        return QString::fromUtf8(m_pipedLog);
    }
    QFile file(logPath());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
