// The key index of a large hash: symbol to the position of its first pair,
// an open-addressed table kept beside the cell (runtime/side_tables.h), so
// a look-up costs the same at any size and returns the pair the linear
// search returns.  The pairs stay where they are, in their order; the index
// only remembers positions, and checks each answer against the pairs:
//  - it covers the first `covered` pairs; pairs appended past them are
//    added before a look-up, and fewer pairs than that (a delete, a clear)
//    start it again;
//  - a position whose pair holds another key (pairs moved by a delete)
//    starts it again.
// Every pair a hash gains goes through hash_append or is there when the
// hash is made, and a freed or newly made hash empties its slot, so a key
// the index does not know is not in the hash.
#include <vector>

#include "host/engine.h"
#include "interp/variables.h"
#include "runtime/side_tables.h"

namespace koru {

namespace {

constexpr uint32_t kKeyMask = 0x0FFFFFFF;

struct HashEntry {
    uint32_t generation = 0;
    uint32_t covered = 0;
    uint32_t used = 0;
    // (key, position + 1); position 0 marks an empty slot.
    std::vector<std::pair<uint32_t, uint32_t>> table;

    size_t home(uint32_t key) const { return (key * 0x9E3779B1u) & (table.size() - 1); }

    int64_t find(uint32_t key) const {
        for (size_t i = home(key);; i = (i + 1) & (table.size() - 1)) {
            if (table[i].second == 0) return -1;
            if (table[i].first == key) return table[i].second - 1;
        }
    }

    void grow() {
        std::vector<std::pair<uint32_t, uint32_t>> old;
        old.swap(table);
        table.assign(old.empty() ? 64 : old.size() * 2, {0, 0});
        for (const auto& e : old)
            if (e.second) place(e.first, e.second - 1);
    }

    // Keeps the first position of a key.
    void place(uint32_t key, uint32_t at) {
        for (size_t i = home(key);; i = (i + 1) & (table.size() - 1)) {
            if (table[i].second == 0) {
                table[i] = {key, at + 1};
                ++used;
                return;
            }
            if (table[i].first == key) return;
        }
    }

    void add(uint32_t key, uint32_t at) {
        if ((used + 1) * 2 > table.size()) grow();
        place(key, at);
    }

    void cover(const Pair* p, uint32_t n) {
        for (; covered < n; ++covered) add(p[covered].key.bits & kKeyMask, covered);
    }

    void build(const Pair* p, uint32_t n) {
        table.assign(64, {0, 0});
        while (table.size() < static_cast<size_t>(n) * 2 + 2) table.resize(table.size() * 2);
        std::fill(table.begin(), table.end(), std::pair<uint32_t, uint32_t>{0, 0});
        used = 0;
        covered = 0;
        generation = g_memory_generation;
        cover(p, n);
    }
};

HashEntry g_hash_entries[kSideSlots];

}  // namespace

int64_t hash_find_indexed(Value hash, uint32_t symbol) {
    int found = g_hash_slots.find(hash);
    unsigned slot = found >= 0 ? static_cast<unsigned>(found) : g_hash_slots.claim(hash);
    HashEntry& e = g_hash_entries[slot];
    const Pair* p = hash_pairs(hash);
    uint32_t n = hash_count(hash), key = symbol & kKeyMask;
    if (found < 0 || e.generation != g_memory_generation || e.covered > n) {
        e.build(p, n);
    } else {
        e.cover(p, n);
    }
    int64_t at = e.find(key);
    if (at < 0 || (at < n && (p[at].key.bits & kKeyMask) == key)) return at;
    e.build(p, n);
    return e.find(key);
}

void hash_index_appended(Value hash, Value key, uint32_t at) {
    int slot = g_hash_slots.find(hash);
    if (slot < 0) return;
    HashEntry& e = g_hash_entries[slot];
    if (e.generation != g_memory_generation || e.covered != at) {
        g_hash_slots.forget(hash);
        return;
    }
    e.add(key.bits & kKeyMask, at);
    e.covered = at + 1;
}

}  // namespace koru
