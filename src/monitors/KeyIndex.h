#pragma once

#include <QStringView>

#include <cstdint>
#include <utility>
#include <vector>

// Numbers distinct keys in the order they are first seen (0, 1, 2, ...). Open addressing over a
// cheap hash of the key's UTF-16 code units, so its cost per key is ours to choose and not that
// of Qt's seeded string hash. The keys are views: what they look at must outlive the index.
class KeyIndex {
public:
    KeyIndex();

    // The key's number and whether it was added just now.
    std::pair<int, bool> findOrAdd(QStringView key);
    int size() const { return static_cast<int>(m_keys.size()); }

private:
    struct Slot {
        std::uint32_t hash = 0;
        int number = -1; // -1: empty
    };

    std::uint32_t hashOf(QStringView key) const;
    void grow();

    std::vector<QStringView> m_keys;
    std::vector<Slot> m_slots;
    std::uint32_t m_seed;
};
