#include "monitors/ReplyFields.h"

QStringList cutReply(const QString& reply) {
    if (reply.isEmpty()) {
        return {};
    }
    return reply.split(QLatin1Char('|'));
}
