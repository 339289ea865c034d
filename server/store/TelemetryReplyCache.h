#pragma once

#include "Store.h"

#include <QString>
#include <QVariant>

#include <unordered_map>

// The telemetry replies of each branch (NichtVerbuchtStatus, Zaehlerstand), built once and
// served to every session that asks until the data may have changed: any write through the
// server's store, or a commit by any other connection to the database (the admin commands and
// other processes) that may have touched the branch. A kept reply is never older than the data
// it was built from: each is kept with the branch's change stamp taken before it was built, and
// built anew when the stamp has moved. Held within kMaxReplies and kMaxChars: beyond them the
// kept replies are dropped and built again as they are asked for.
class TelemetryReplyCache {
public:
    static constexpr std::size_t kMaxReplies = 4096;
    static constexpr qsizetype kMaxChars = 16 * 1024 * 1024; // 32 MiB of text, 16+ of its UTF-8

    explicit TelemetryReplyCache(Store& store);

    // Off: every call builds its reply afresh (to compare with).
    void setEnabled(bool enabled);

    // The reply as a value that carries its encoding (protocol::EncodedText): a kept reply is
    // sent as the bytes kept with it.
    QVariant registers(qint64 firma, qint64 filiale);
    QVariant clocks(qint64 firma, qint64 filiale);

private:
    enum class Kind { Registers, Clocks };
    struct Key {
        Kind kind;
        qint64 firma;
        qint64 filiale;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        std::size_t operator()(const Key& key) const noexcept;
    };

    QVariant reply(Kind kind, qint64 firma, qint64 filiale);
    QString build(const Key& key) const;
    void dropAll();

    struct Kept {
        QVariant reply; // protocol::EncodedText
        qsizetype chars = 0;
        Store::ChangeStamp builtAt;
    };

    Store& m_store;
    bool m_enabled = true;
    std::unordered_map<Key, Kept, KeyHash> m_replies;
    qsizetype m_chars = 0;
};
