#include "SignInThrottle.h"

#include <sodium.h>

#include <algorithm>
#include <array>

namespace {

constexpr int kMaxCount = 1 << 20;

// A key as a keyed 64-bit hash: every key takes the same few bytes whatever a peer sends, and
// without the process's secret nobody can make two keys collide on purpose.
quint64 hashOf(const QString& key) {
    static const std::array<unsigned char, crypto_shorthash_KEYBYTES> secret = [] {
        std::array<unsigned char, crypto_shorthash_KEYBYTES> bytes{};
        if (sodium_init() < 0) {
            std::abort();
        }
        randombytes_buf(bytes.data(), bytes.size());
        return bytes;
    }();
    std::array<unsigned char, crypto_shorthash_BYTES> out{};
    crypto_shorthash(out.data(), reinterpret_cast<const unsigned char*>(key.constData()),
                     static_cast<unsigned long long>(key.size()) * sizeof(QChar), secret.data());
    quint64 value = 0;
    for (unsigned char byte : out) {
        value = (value << 8) | byte;
    }
    return value;
}

} // namespace

quint64 SignInThrottle::keyOf(Kind kind, const QString& key) {
    return hashOf((kind == Kind::User ? QStringLiteral("u:") : QStringLiteral("a:")) + key);
}

SignInThrottle::SignInThrottle(const Settings& settings)
    : m_settings(settings) {
}

qint64 SignInThrottle::delayFor(int attempts, int freeTries) const {
    if (attempts < freeTries) {
        return 0;
    }
    const qint64 steps = static_cast<qint64>(attempts - freeTries) + 1;
    return std::min(m_settings.capMs, steps * m_settings.stepMs);
}

SignInThrottle::Entry* SignInThrottle::existing(quint64 key) {
    const auto it = m_index.find(key);
    return it == m_index.end() ? nullptr : &*it->second;
}

const SignInThrottle::Entry* SignInThrottle::existing(quint64 key) const {
    const auto it = m_index.find(key);
    return it == m_index.end() ? nullptr : &*it->second;
}

void SignInThrottle::forgetStale(Entry& e, qint64 nowMs) const {
    if (e.failures > 0 && nowMs - e.lastFailureMs > m_settings.forgetAfterMs) {
        e.failures = 0;
    }
}

SignInThrottle::Entry& SignInThrottle::entry(quint64 key, qint64 nowMs) {
    auto found = m_index.find(key);
    if (found == m_index.end()) {
        makeRoom();
        m_entries.push_back(Entry{key});
        found = m_index.emplace(key, std::prev(m_entries.end())).first;
    } else {
        m_entries.splice(m_entries.end(), m_entries, found->second); // now the most recent
    }
    forgetStale(*found->second, nowMs);
    return *found->second;
}

void SignInThrottle::makeRoom() {
    // The least recently touched go first; a key with an attempt under way is kept (there are
    // at most two per session), so this looks at a bounded number of entries.
    auto candidate = m_entries.begin();
    while (static_cast<int>(m_entries.size()) >= m_settings.maxKeys &&
           candidate != m_entries.end()) {
        if (candidate->waiting > 0 || candidate->checking > 0) {
            ++candidate;
            continue;
        }
        m_index.erase(candidate->key);
        candidate = m_entries.erase(candidate);
    }
}

qint64 SignInThrottle::reserveOne(Entry& e, int freeTries, qint64 nowMs, qint64& spacing) {
    const qint64 delay = delayFor(e.failures + e.checking, freeTries);
    ++e.checking;
    ++e.waiting;
    if (delay == 0) {
        spacing = 0;
        return nowMs;
    }
    const qint64 slot = std::max(nowMs, e.nextSlotMs) + delay;
    spacing = slot - std::max(nowMs, e.nextSlotMs);
    e.nextSlotMs = slot;
    return slot;
}

SignInThrottle::Reservation SignInThrottle::reserve(const QString& userKey,
                                                    const QString& addressKey, qint64 nowMs) {
    Reservation r;
    r.user = keyOf(Kind::User, userKey);
    r.address = keyOf(Kind::Address, addressKey);
    Entry& address = entry(r.address, nowMs);
    if (address.waiting >= m_settings.maxWaitingPerAddress) {
        r.refused = true;
        r.checked = true;
        return r;
    }
    const qint64 byAddress =
        reserveOne(address, m_settings.freeTriesPerAddress, nowMs, r.addressSpacingMs);
    const qint64 byUser =
        reserveOne(entry(r.user, nowMs), m_settings.freeTriesPerUser, nowMs, r.userSpacingMs);
    r.answerAtMs = std::max(byUser, byAddress);
    return r;
}

qint64 SignInThrottle::recordOutcome(Reservation& r, bool correct, qint64 nowMs) {
    if (r.refused || r.checked) {
        return nowMs;
    }
    r.checked = true;
    Entry& address = entry(r.address, nowMs);
    Entry& user = entry(r.user, nowMs);
    address.checking = std::max(0, address.checking - 1);
    user.checking = std::max(0, user.checking - 1);
    if (correct) {
        user.failures = 0;
        return address.failures == 0 ? nowMs : std::max(nowMs, r.answerAtMs);
    }
    for (Entry* e : {&address, &user}) {
        e->failures = std::min(e->failures + 1, kMaxCount);
        e->lastFailureMs = nowMs;
    }
    return std::max(nowMs, r.answerAtMs);
}

void SignInThrottle::finish(Reservation& r, bool answered, qint64 nowMs) {
    if (r.finished || r.refused) {
        r.finished = true;
        return;
    }
    r.finished = true;
    for (const auto& [key, spacing] :
         {std::pair{r.address, r.addressSpacingMs}, std::pair{r.user, r.userSpacingMs}}) {
        Entry* e = existing(key);
        if (!e) {
            continue;
        }
        e->waiting = std::max(0, e->waiting - 1);
        if (!r.checked) {
            e->checking = std::max(0, e->checking - 1);
        }
        if (!answered && r.answerAtMs > nowMs) {
            // Nobody gets this answer: the next attempt need not wait behind it.
            e->nextSlotMs = std::max(nowMs, e->nextSlotMs - spacing);
        }
    }
}

void SignInThrottle::adoptFailures(Kind kind, const QString& key, int failures, qint64 nowMs) {
    if (failures <= 0) {
        return;
    }
    Entry& e = entry(keyOf(kind, key), nowMs);
    if (failures > e.failures) {
        e.failures = std::min(failures, kMaxCount);
        e.lastFailureMs = nowMs;
    }
}

int SignInThrottle::failures(Kind kind, const QString& key, qint64 nowMs) const {
    const Entry* e = existing(keyOf(kind, key));
    return e && nowMs - e->lastFailureMs <= m_settings.forgetAfterMs ? e->failures : 0;
}
