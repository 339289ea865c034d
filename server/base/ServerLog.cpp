#include "ServerLog.h"

#include "ValueText.h"

#include <cstdio>

ServerLog::ServerLog()
    : ServerLog(toStderr()) {
}

ServerLog::Sink ServerLog::toStderr() {
    return [](const QString& line) {
        const QByteArray bytes = line.toLocal8Bit() + '\n';
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
        std::fflush(stderr);
    };
}

ServerLog::ServerLog(Sink sink)
    : m_sink(std::move(sink))
    , m_limiter(std::make_unique<LogLimiter>()) {
}

ServerLog::~ServerLog() = default;

void ServerLog::setLimits(const LogLimiter::Settings& settings) {
    const QMutexLocker lock(&m_mutex);
    m_limiter = std::make_unique<LogLimiter>(settings);
}

void ServerLog::write(const QString& message) const {
    writeFor(QString(), message);
}

void ServerLog::writeFor(const QString& address, const QString& message) const {
    const QMutexLocker lock(&m_mutex);
    for (const QString& line : m_limiter->admit(address, message)) {
        emitLine(line);
    }
}

void ServerLog::writeSummaries() const {
    const QMutexLocker lock(&m_mutex);
    for (const QString& line : m_limiter->pendingSummaries()) {
        emitLine(line);
    }
}

void ServerLog::emitLine(const QString& message) const {
    // One line per event: a control character in a peer's text must not forge another line.
    // Escaped, not replaced: the line still says what the text held.
    m_sink(QStringLiteral("lorvex-server: ") + escapedControls(message, true));
}
