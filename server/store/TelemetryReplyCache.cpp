#include "TelemetryReplyCache.h"

#include "protocol/EncodedText.h"

#include <functional>

TelemetryReplyCache::TelemetryReplyCache(Store& store)
    : m_store(store) {
}

void TelemetryReplyCache::setEnabled(bool enabled) {
    m_enabled = enabled;
    dropAll();
}

QVariant TelemetryReplyCache::registers(qint64 firma, qint64 filiale) {
    return reply(Kind::Registers, firma, filiale);
}

QVariant TelemetryReplyCache::clocks(qint64 firma, qint64 filiale) {
    return reply(Kind::Clocks, firma, filiale);
}

QVariant TelemetryReplyCache::reply(Kind kind, qint64 firma, qint64 filiale) {
    const Key key{kind, firma, filiale};
    if (!m_enabled) {
        return build(key);
    }
    // The stamp is taken before the reply is built: a commit while it is being built changes
    // the stamp again, so the next call builds anew rather than serving older data.
    const Store::ChangeStamp now = m_store.changeStampOf(firma, filiale);
    if (const auto kept = m_replies.find(key); kept != m_replies.end()) {
        if (kept->second.builtAt == now) {
            return kept->second.reply;
        }
        m_chars -= kept->second.chars;
        m_replies.erase(kept);
    }
    const QString built = build(key);
    if (m_replies.size() >= kMaxReplies || m_chars + built.size() > kMaxChars) {
        dropAll();
    }
    QVariant encoded = protocol::EncodedText::of(built);
    m_chars += built.size();
    m_replies.emplace(key, Kept{encoded, built.size(), now});
    return encoded;
}

QString TelemetryReplyCache::build(const Key& key) const {
    return key.kind == Kind::Registers ? m_store.registerReply(key.firma, key.filiale)
                                       : m_store.clockReply(key.firma, key.filiale);
}

void TelemetryReplyCache::dropAll() {
    m_replies.clear();
    m_chars = 0;
}

std::size_t TelemetryReplyCache::KeyHash::operator()(const Key& key) const noexcept {
    const std::hash<qint64> hash;
    return hash(key.firma) * 31 + hash(key.filiale) * 7 + static_cast<std::size_t>(key.kind);
}
