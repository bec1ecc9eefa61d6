#include "runtime/symbols.h"

#include <algorithm>
#include <cstring>

#include "host/errors.h"
#include "interp/state.h"
#include "runtime/symbol_text_index.h"

namespace koru {


const char* const kPredefinedNames[kPredefinedSymbols] = {
    "undefined", "true", "false", "null", "NaN", "this", "Math", "column", "value", "console",
    "Object", "Function", "Connection", "name", "message", "Number", "Integer", "Float", "Date",
    "Error", "RegExp", "String", "Array", "Hash", "Exception", "typeof", "instanceof", "index",
    "indices", "input", "groups", "length", "no_authorization", "count", "sum", "max", "min",
    "average", "key", "group", "total", "total_count", "$set", "$inc", "$min", "$max", "$mul",
    "$rename", "$unset", "_c__o__l__m_", "_v__a__l_", "_k__e__y_", "new"};

namespace {
constexpr size_t kTableStep = 2048;
// The first tables are small: a request's start-up interns some fifty names,
// and 2048 entries would leave mostly untouched blocks whose ends still cost
// a fresh page each.  Later growth is by kTableStep.
constexpr size_t kFirstTable = 256;

bool same_text(const SymbolEntry& e, const char* bytes, size_t len) {
    return e.length == static_cast<uint8_t>(len) && e.offset + len < g_symbols.pool.size() &&
           std::memcmp(g_symbols.pool.data() + e.offset, bytes, len) == 0 &&
           g_symbols.pool[e.offset + len] == '\0';
}

// Names by their text: symbol numbers in an open-addressed table beside the
// sorted index.  Names of one length and byte sum share a key, so a run of
// names such as k0, k1, ... would otherwise be compared one by one against
// all the others with their key.  The table covers the first `covered`
// entries, which intern adds one by one; a text hashes by its length byte
// and its first bytes up to a NUL, which every text equal to it by
// same_text shares.
struct TextHash {
    std::vector<uint32_t> slots;  // number + 1; 0 marks an empty slot
    size_t covered = 0;
    bool off = false;             // the table was put in place whole

    static uint32_t hash(const char* bytes, size_t len) {
        uint32_t h = 2166136261u ^ static_cast<uint8_t>(len);
        for (size_t i = 0; i < len && i < 64 && bytes[i] != '\0'; ++i) h = (h ^ static_cast<uint8_t>(bytes[i])) * 16777619u;
        return h;
    }
    static uint32_t entry_hash(const SymbolEntry& e) {
        const char* t = g_symbols.pool.data() + e.offset;
        size_t room = g_symbols.pool.size() - e.offset;
        uint32_t h = 2166136261u ^ e.length;
        for (size_t i = 0; i < room && i < 64 && t[i] != '\0'; ++i) h = (h ^ static_cast<uint8_t>(t[i])) * 16777619u;
        return h;
    }
    void place(uint32_t number) {
        size_t mask = slots.size() - 1;
        for (size_t i = entry_hash(g_symbols.entries[number]) & mask;; i = (i + 1) & mask)
            if (slots[i] == 0) {
                slots[i] = number + 1;
                return;
            }
    }
    void sync() {
        size_t n = g_symbols.entries.size();
        if (covered > n) {
            slots.clear();
            covered = 0;
        }
        if (n * 2 >= slots.size()) {
            size_t size = 1024;
            while (size <= n * 2) size *= 2;
            slots.assign(size, 0);
            covered = 0;
        }
        for (; covered < n; ++covered) place(static_cast<uint32_t>(covered));
    }
    int64_t find(const char* bytes, size_t len, uint32_t key) {
        sync();
        size_t mask = slots.size() - 1;
        for (size_t i = hash(bytes, len) & mask; slots[i] != 0; i = (i + 1) & mask) {
            const SymbolEntry& e = g_symbols.entries[slots[i] - 1];
            if (e.key == key && same_text(e, bytes, len)) return slots[i] - 1;
        }
        return -1;
    }
};

TextHash g_text_hash;

// Index of the first index entry with this key, or the size when there is none.
int64_t find(const char* bytes, size_t len, uint32_t key) {
    if (!g_plain_paths && !g_text_hash.off) return g_text_hash.find(bytes, len, key);
    const auto& idx = g_symbols.index;
    auto lo = std::lower_bound(idx.begin(), idx.end(), key,
                               [](const SymbolIndexEntry& e, uint32_t k) { return e.key < k; });
    for (auto it = lo; it != idx.end() && it->key == key; ++it)
        if (same_text(g_symbols.entries[it->number], bytes, len)) return it->number;
    return -1;
}
}  // namespace

void symbols_replaced() { g_text_hash.off = true; }

void SymbolTable::reset() {
    g_text_hash.slots.clear();
    g_text_hash.covered = 0;
    g_text_hash.off = false;
    entries.clear();
    index.clear();
    pool.clear();
    entries.reserve(kFirstTable);
    index.reserve(kFirstTable);
    pool.reserve(kTableStep);
}

uint32_t intern(const char* bytes, size_t len, uint32_t key) {
    int64_t found = find(bytes, len, key);
    if (found >= 0) return static_cast<uint32_t>(found);
    SymbolTable& t = g_symbols;
    if (t.entries.size() == t.entries.capacity()) {
        size_t step = t.entries.empty() ? kFirstTable : kTableStep;
        t.entries.reserve(t.entries.size() + step);
        t.index.reserve(t.entries.size() + step);
    }
    if (t.pool.size() + len + 2 > t.pool.capacity()) t.pool.reserve(t.pool.capacity() + std::max(kTableStep, len + 2));
    uint32_t number = static_cast<uint32_t>(t.entries.size());
    SymbolEntry e{0, static_cast<uint8_t>(len), 0, key, static_cast<uint32_t>(t.pool.size())};
    t.entries.push_back(e);
    t.pool.insert(t.pool.end(), bytes, bytes + len);
    t.pool.push_back('\0');
    // Insert in key order (equal keys keep insertion order); texts are
    // distinct, so the order among equal keys never changes a look-up.
    auto pos = std::upper_bound(t.index.begin(), t.index.end(), key,
                                [](uint32_t k, const SymbolIndexEntry& x) { return k < x.key; });
    t.index.insert(pos, SymbolIndexEntry{key, number});
    return number;
}

uint32_t intern_counted(const char* bytes, size_t len) {
    size_t n = 0;
    while (n < len && bytes[n] != '\0') ++n;
    return intern(bytes, n, symbol_key(bytes, n));
}

int64_t symbol_lookup(const char* bytes, size_t len) { return find(bytes, len, symbol_key(bytes, len)); }

void symbols_seed() {
    for (const char* name : kPredefinedNames) intern_counted(name, std::strlen(name));
}

uint32_t symbol_count() { return static_cast<uint32_t>(g_symbols.entries.size()); }

const char* symbol_name(uint32_t number) {
    if (number >= g_symbols.entries.size()) return "";
    return g_symbols.pool.data() + g_symbols.entries[number].offset;
}

unsigned symbol_length(uint32_t number) {
    if (number >= g_symbols.entries.size()) return 0;
    return g_symbols.entries[number].length;
}

}  // namespace koru
