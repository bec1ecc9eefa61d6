// The shape every built-in family shares: method names in one text of
// fixed-width, blank-padded slots (the slot a name falls in is its method
// number), and a rule per method for the number of arguments.
#pragma once
#include <cstdint>
#include <cstring>
#include <string_view>

#include "host/errors.h"
#include "runtime/symbols.h"

namespace koru {

constexpr int kNoMethod = -1;

// The slot in which the first occurrence of the name begins.  The search is
// by plain substring, so a name that is only part of an entry ("ind") reaches
// that entry's method, as older scripts expect.
inline int method_slot_search(std::string_view table, size_t width, std::string_view name) {
    if (name.empty()) return kNoMethod;
    size_t at = table.find(name);
    if (at == std::string_view::npos) return kNoMethod;
    return static_cast<int>(at / width);
}

// How a family finds a name's slot in its table.
using SlotSearch = int (*)(std::string_view table, size_t width, std::string_view name);

// The slots found for recent names, by table and symbol.  An entry keeps the
// name's text as well, so that a symbol number given to another name (the
// table is rebuilt between tests) never finds a stale slot.  An entry of
// zeros has no table and so never matches: the cache needs no start-up work.
struct MethodSlotCache {
    static constexpr unsigned kEntries = 64;
    static constexpr unsigned kNameMax = 24;  // a slot's name is never longer
    struct Entry {
        const char* table = nullptr;
        uint32_t symbol = 0;
        int16_t slot = 0;
        uint8_t length = 0;
        char name[kNameMax] = {};
    };
    Entry entries[kEntries];
};
extern MethodSlotCache g_method_slots;

inline int cached_method_slot(std::string_view table, size_t width, uint32_t name_symbol, SlotSearch search) {
    std::string_view name = symbol_name(name_symbol);
    auto& e = g_method_slots.entries[(name_symbol ^ (reinterpret_cast<uintptr_t>(table.data()) >> 4)) %
                                     MethodSlotCache::kEntries];
    if (e.table == table.data() && e.symbol == name_symbol && e.length == name.size() &&
        std::memcmp(e.name, name.data(), name.size()) == 0)
        return e.slot;
    int slot = search(table, width, name);
    if (slot != kNoMethod && name.size() <= MethodSlotCache::kNameMax) {
        e.table = table.data();
        e.symbol = name_symbol;
        e.slot = static_cast<int16_t>(slot);
        e.length = static_cast<uint8_t>(name.size());
        std::memcpy(e.name, name.data(), name.size());
    }
    return slot;
}

inline int method_slot(std::string_view table, unsigned width, uint32_t name_symbol) {
    return cached_method_slot(table, width, name_symbol, method_slot_search);
}

// An argument rule: `first` below 10 is an exact count; a character
// '0'..'9' is a minimum, and then `max` is a character '0'..'9' or 'N' for
// no maximum.
struct ArgRule {
    char first;
    char max;
};

constexpr ArgRule exactly(int n) { return {static_cast<char>(n), 'N'}; }
constexpr ArgRule at_least(int n) { return {static_cast<char>('0' + n), 'N'}; }
constexpr ArgRule between(int lo, int hi) { return {static_cast<char>('0' + lo), static_cast<char>('0' + hi)}; }

// The two errors a family raises for a count that breaks its rule: too few
// (or not the exact count), and too many.  Each is given by its code: the
// catalogue row with that code and the message "引数の個数不正" is found
// when the call compiles.
struct CountErrors {
    err::CountRow too_few;
    err::CountRow too_many;
};

inline void check_arg_count(ArgRule r, uint32_t n, CountErrors e) {
    if (r.first < 10) {
        if (n != static_cast<uint32_t>(r.first)) raise_runtime(e.too_few.row);
        return;
    }
    if (n < static_cast<uint32_t>(r.first - '0')) raise_runtime(e.too_few.row);
    if (r.max != 'N' && n > static_cast<uint32_t>(r.max - '0')) raise_runtime(e.too_many.row);
}

}  // namespace koru
