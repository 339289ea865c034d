#include "protocol/Response.h"

namespace protocol {

Response Response::success(qint64 seq, const QVariant& value) {
    Response r;
    r.seq = seq;
    r.value = value;
    return r;
}

Response Response::withHandle(qint64 seq, qint64 handle) {
    Response r;
    r.seq = seq;
    r.handle = handle;
    return r;
}

Response Response::failure(qint64 seq, int errorNumber, const QString& errorText) {
    Response r;
    r.seq = seq;
    r.ok = false;
    r.errorNumber = errorNumber;
    r.errorText = errorText;
    return r;
}

} // namespace protocol
