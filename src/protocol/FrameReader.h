#pragma once

#include "protocol/ErrorCodes.h"
#include "protocol/Limits.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

namespace protocol {

// Cuts a byte stream into frames, whatever pieces the bytes arrive in. A header that declares
// length 0 or more than the maximum puts the reader into its error state at once, before any of
// that payload is stored; after an error, further bytes are ignored. Frames completed before the
// error can still be taken, so a peer's valid requests are answered in order before it is cut off.
class FrameReader {
public:
    explicit FrameReader(qsizetype maxFrameBytes = MaxFrameBytes);
    // Applies to frames whose header has not been read yet.
    void setMaxFrameBytes(qsizetype maxFrameBytes) { m_maxFrameBytes = maxFrameBytes; }

    void feed(QByteArrayView bytes);
    // The payload of the next complete frame, oldest first.
    std::optional<QByteArray> takeFrame();
    bool hasFrame() const { return !m_complete.isEmpty(); }

    bool hasError() const { return m_failed; }
    ErrorCode error() const { return ErrorCode::BadFrameLength; }
    QString errorText() const { return m_errorText; }

    // Bytes held for frames not yet complete plus complete frames not yet taken.
    qsizetype bufferedBytes() const;
    // True when the reader is between frames (no partial header or payload held).
    bool atFrameBoundary() const { return m_headerFill == 0; }

private:
    qsizetype m_maxFrameBytes;
    unsigned char m_header[FrameHeaderBytes] = {};
    qsizetype m_headerFill = 0;
    qsizetype m_expected = 0;
    QByteArray m_partial;
    QList<QByteArray> m_complete;
    bool m_failed = false;
    QString m_errorText;
};

} // namespace protocol
