#include "ServerLog.h"

#include <cstdio>

ServerLog::ServerLog()
    : m_sink([](const QString& line) {
        const QByteArray bytes = line.toLocal8Bit() + '\n';
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
        std::fflush(stderr);
    }) {
}

ServerLog::ServerLog(Sink sink)
    : m_sink(std::move(sink)) {
}

void ServerLog::write(const QString& message) const {
    // One line per event: a control character in a peer's text must not forge another line.
    QString line = QStringLiteral("lorvex-server: ") + message;
    for (QChar& c : line) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
            c = QLatin1Char('?');
        }
    }
    m_sink(line);
}
