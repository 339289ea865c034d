#include "monitors/KeyIndex.h"

#include <QRandomGenerator>

namespace {

constexpr std::size_t kInitialSlots = 64;

// A seed per process keeps a server from choosing keys that all fall into one slot chain.
std::uint32_t processSeed() {
    static const std::uint32_t seed = QRandomGenerator::system()->generate();
    return seed;
}

} // namespace

KeyIndex::KeyIndex()
    : m_slots(kInitialSlots)
    , m_seed(processSeed()) {
}

std::uint32_t KeyIndex::hashOf(QStringView key) const {
    // FNV-1a over the code units, then a final mix so that the low bits (the slot) depend on
    // every unit.
    std::uint32_t hash = 2166136261u ^ m_seed;
    for (const QChar c : key) {
        hash = (hash ^ c.unicode()) * 16777619u;
    }
    hash ^= hash >> 16;
    hash *= 0x85ebca6bu;
    hash ^= hash >> 13;
    return hash;
}

std::pair<int, bool> KeyIndex::findOrAdd(QStringView key) {
    const std::uint32_t hash = hashOf(key);
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        Slot& slot = m_slots[at];
        if (slot.number < 0) {
            slot = Slot{hash, static_cast<int>(m_keys.size())};
            m_keys.push_back(key);
            if (m_keys.size() * 2 > m_slots.size()) {
                grow();
            }
            return {static_cast<int>(m_keys.size()) - 1, true};
        }
        if (slot.hash == hash && m_keys[static_cast<std::size_t>(slot.number)] == key) {
            return {slot.number, false};
        }
    }
}

void KeyIndex::grow() {
    std::vector<Slot> larger(m_slots.size() * 2);
    const std::size_t mask = larger.size() - 1;
    for (const Slot& slot : m_slots) {
        if (slot.number < 0) {
            continue;
        }
        std::size_t at = slot.hash & mask;
        while (larger[at].number >= 0) {
            at = (at + 1) & mask;
        }
        larger[at] = slot;
    }
    m_slots.swap(larger);
}
