#pragma once

#include <QString>
#include <QVariant>

namespace protocol {

// One reply. A success carries a value (get, call, hello: the server's version) or a handle
// (open, class); a failure carries the error number and text.
struct Response {
    qint64 seq = 0;
    bool ok = true;
    QVariant value;
    qint64 handle = 0;
    int errorNumber = 0;
    QString errorText;
    // A signin's true: the token that signs the same user in again without the password.
    QString resume;

    static Response success(qint64 seq, const QVariant& value = {});
    static Response withHandle(qint64 seq, qint64 handle);
    static Response failure(qint64 seq, int errorNumber, const QString& errorText);

    bool operator==(const Response&) const = default;
};

} // namespace protocol
