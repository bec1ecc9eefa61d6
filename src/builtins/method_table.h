// The shape every built-in family shares: one row per method, {name,
// argument rule, handler(s)}, in slot order (the slot of a row is its method
// number), and beside the rows the family's errors.  A called name reaches
// the row whose whole name it is and nothing else: a part of a name, a name
// with a blank or one that runs over into the next slot is no method.
//
// The rows also give each family's fixed-width name text (blank-padded
// slots, the slot a name falls in is its method number) at compile time.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include "host/errors.h"
#include "interp/methods.h"
#include "runtime/symbols.h"

namespace koru {

constexpr int kNoMethod = -1;

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
// (or not the exact count), and too many; rows of the error catalogue.
struct CountErrors {
    err::Plain too_few;
    err::Plain too_many;
};

inline void check_arg_count(ArgRule r, uint32_t n, const CountErrors& e) {
    if (r.first < 10) {
        if (n != static_cast<uint32_t>(r.first)) raise_runtime(e.too_few);
        return;
    }
    if (n < static_cast<uint32_t>(r.first - '0')) raise_runtime(e.too_few);
    if (r.max != 'N' && n > static_cast<uint32_t>(r.max - '0')) raise_runtime(e.too_many);
}

// A family's errors: a name that is no entry's, and an argument count that
// breaks the entry's rule (none for a family whose rules never fail).
struct FamilyErrors {
    err::Plain unknown;
    std::optional<CountErrors> count;
};

// One method.  `name` is empty for a slot that has no method; `alias` is a
// second whole name that reaches the row (empty for almost every row).
template <class Handler>
struct MethodRow {
    std::string_view name;
    ArgRule rule;
    Handler handler;
    std::string_view alias = {};
};

// The names of an entry, as the look-up sees them.
struct EntryName {
    std::string_view name;
    std::string_view alias;
};

// The slot whose name or alias is the whole of `name`, or kNoMethod.
constexpr int find_entry(const EntryName* entries, size_t count, std::string_view name) {
    if (name.empty()) return kNoMethod;
    for (size_t i = 0; i < count; ++i)
        if (entries[i].name == name || entries[i].alias == name) return static_cast<int>(i);
    return kNoMethod;
}

// The slots found for recent names, by table and symbol.  An entry keeps the
// name's text as well, so that a symbol number given to another name (the
// table is rebuilt between tests) never finds a stale slot.  An entry of
// zeros has no table and so never matches: the cache needs no start-up work.
struct MethodSlotCache {
    static constexpr unsigned kEntries = 64;
    static constexpr unsigned kNameMax = 24;  // a slot's name is never longer
    struct Entry {
        const EntryName* table = nullptr;
        uint32_t symbol = 0;
        int16_t slot = 0;
        uint8_t length = 0;
        char name[kNameMax] = {};
    };
    Entry entries[kEntries];
};
extern MethodSlotCache g_method_slots;

// find_entry for a method symbol, through the cache of recent answers.  A
// repeated call is answered here; a new name goes to method_slot_miss, which
// searches and remembers the answer.
int method_slot_miss(const EntryName* entries, size_t count, uint32_t name_symbol, std::string_view name);

inline int cached_method_slot(const EntryName* entries, size_t count, uint32_t name_symbol) {
    std::string_view name = symbol_name(name_symbol);
    const auto& e = g_method_slots.entries[(name_symbol ^ (reinterpret_cast<uintptr_t>(entries) >> 4)) %
                                           MethodSlotCache::kEntries];
    if (e.table == entries && e.symbol == name_symbol && e.length == name.size() &&
        std::memcmp(e.name, name.data(), name.size()) == 0) [[likely]]
        return e.slot;
    return method_slot_miss(entries, count, name_symbol, name);
}

// A family's table: its rows, their names for the look-up, its errors, and
// the width of a slot in its name text.
template <class Handler, size_t N, size_t Width>
struct MethodTable {
    std::array<MethodRow<Handler>, N> rows;
    std::array<EntryName, N> entries;
    FamilyErrors errors;

    static constexpr size_t size() { return N; }
    static constexpr size_t width() { return Width; }
    // The slot a method symbol reaches, or kNoMethod.
    int slot(uint32_t name_symbol) const { return cached_method_slot(entries.data(), N, name_symbol); }
    const MethodRow<Handler>& operator[](int slot) const { return rows[static_cast<size_t>(slot)]; }
};

namespace method_table_detail {
// Reached only while a table is built at compile time: the build fails there.
inline void bad_table(const char*) {}
}  // namespace method_table_detail

// Builds a family's table from its rows; a row whose name is longer than
// the family's slot, holds a blank, or repeats another row's name is a
// compile-time error.
template <size_t Width, class Handler, size_t N>
constexpr MethodTable<Handler, N, Width> method_table(const MethodRow<Handler> (&rows)[N], FamilyErrors errors) {
    MethodTable<Handler, N, Width> t{{}, {}, errors};
    for (size_t i = 0; i < N; ++i) {
        const MethodRow<Handler>& r = rows[i];
        if (r.name.size() > Width) method_table_detail::bad_table("a name longer than its slot");
        if (r.name.find(' ') != std::string_view::npos || r.alias.find(' ') != std::string_view::npos)
            method_table_detail::bad_table("a name with a blank");
        for (size_t j = 0; j < i; ++j) {
            const std::string_view names[2] = {r.name, r.alias};
            for (size_t k = 0; k < 2; ++k)
                if (!names[k].empty() && (names[k] == rows[j].name || names[k] == rows[j].alias))
                    method_table_detail::bad_table("a name of two rows");
        }
        t.rows[i] = r;
        t.entries[i] = {r.name, r.alias};
    }
    return t;
}

// The fixed-width name text of a table: each row's name in its slot of
// `Width` bytes, padded with blanks.
template <class Handler, size_t N, size_t Width>
constexpr std::array<char, Width * N> slot_text(const MethodTable<Handler, N, Width>& t) {
    std::array<char, Width * N> out{};
    for (char& c : out) c = ' ';
    for (size_t i = 0; i < N; ++i)
        for (size_t k = 0; k < t.rows[i].name.size(); ++k) out[i * Width + k] = t.rows[i].name[k];
    return out;
}

// The same in a text of `Size` bytes, for a family whose text runs on in
// blanks past its last slot.
template <size_t Size, class Handler, size_t N, size_t Width>
constexpr std::array<char, Size> slot_text(const MethodTable<Handler, N, Width>& t) {
    static_assert(Size >= Width * (N - 1));
    std::array<char, Size> out{};
    for (char& c : out) c = ' ';
    for (size_t i = 0; i < N; ++i)
        for (size_t k = 0; k < t.rows[i].name.size(); ++k) out[i * Width + k] = t.rows[i].name[k];
    return out;
}

template <size_t Size>
constexpr bool text_is(const std::array<char, Size>& text, std::string_view expected) {
    return std::string_view(text.data(), text.size()) == expected;
}

// What a family's table shows of itself to tests and tools: its entries in
// slot order, searched as the family searches them (find_entry).
struct MethodListing {
    std::string_view family;
    const EntryName* entries;
    size_t count;
};

template <class Handler, size_t N, size_t Width>
constexpr MethodListing listing_of(std::string_view family, const MethodTable<Handler, N, Width>& t) {
    return {family, t.entries.data(), N};
}

// Each family's listing, defined beside its table.
MethodListing array_method_listing();  // Array and KeyedArray receivers share one table
MethodListing string_method_listing();
MethodListing math_method_listing();
MethodListing number_method_listing();
MethodListing hash_method_listing();
MethodListing regexp_method_listing();
MethodListing date_method_listing();
MethodListing date_static_method_listing();
MethodListing console_method_listing();
MethodListing object_method_listing();
MethodListing string_static_method_listing();

}  // namespace koru
