#include "protocol/FrameReader.h"

#include <QtEndian>

#include <algorithm>

namespace protocol {

FrameReader::FrameReader(qsizetype maxFrameBytes)
    : m_maxFrameBytes(maxFrameBytes) {
}

void FrameReader::feed(QByteArrayView bytes) {
    while (!bytes.isEmpty() && !m_failed) {
        if (m_headerFill < FrameHeaderBytes) {
            const qsizetype take = std::min(FrameHeaderBytes - m_headerFill, bytes.size());
            std::copy_n(bytes.data(), take, reinterpret_cast<char*>(m_header) + m_headerFill);
            m_headerFill += take;
            bytes = bytes.sliced(take);
            if (m_headerFill < FrameHeaderBytes) {
                return;
            }
            const quint32 declared = qFromBigEndian<quint32>(m_header);
            if (declared == 0 || static_cast<qint64>(declared) > m_maxFrameBytes) {
                m_failed = true;
                m_errorText = QStringLiteral("frame declares %1 bytes; allowed are 1 to %2")
                                  .arg(declared)
                                  .arg(m_maxFrameBytes);
                m_partial.clear();
                m_headerFill = 0;
                return;
            }
            m_expected = declared;
            m_partial.clear();
        }
        const qsizetype take = std::min(m_expected - m_partial.size(), bytes.size());
        m_partial.append(bytes.data(), take);
        bytes = bytes.sliced(take);
        if (m_partial.size() == m_expected) {
            m_complete.append(std::move(m_partial));
            m_partial = QByteArray();
            m_headerFill = 0;
            m_expected = 0;
        }
    }
}

std::optional<QByteArray> FrameReader::takeFrame() {
    if (m_complete.isEmpty()) {
        return std::nullopt;
    }
    return m_complete.takeFirst();
}

qsizetype FrameReader::bufferedBytes() const {
    qsizetype total = m_partial.size() + m_headerFill;
    for (const QByteArray& frame : m_complete) {
        total += frame.size();
    }
    return total;
}

} // namespace protocol
