// Variables, places and property access.
#pragma once
#include <cstdint>

#include "interp/state.h"
#include "runtime/objects.h"
#include "runtime/utf8.h"
#include "runtime/value.h"

namespace koru {

// The value of a variable; sets the place.  A name never declared becomes a
// new global holding undefined.
Value lookup_variable(uint32_t symbol);

// Stores v into a place: v is retained, the old value released after the
// write.  No place, or a place that no longer exists: error 2000.
void store_to_place(const Place& p, Value v);
// The same, handing back the old value unreleased.
Value exchange_place(const Place& p, Value v);
// The value currently held by a place (undefined when it has gone).
Value place_value(const Place& p);

// Property look-up on a Hash by symbol; sets the place on a hit.  With
// `create` a missing property is appended (holding undefined).
Value hash_property(Value hash, uint32_t symbol, bool create);
// The index of the first pair whose key has the symbol's low 28 bits, or -1.
inline int64_t hash_find_linear(Value hash, uint32_t symbol) {
    const Pair* p = hash_pairs(hash);
    uint32_t sym = symbol & 0x0FFFFFFF;
    for (uint32_t i = 0, n = hash_count(hash); i < n; ++i)
        if ((p[i].key.bits & 0x0FFFFFFF) == sym) return i;
    return -1;
}
// A hash with at least this many pairs is searched through its key index
// (hash_index.cpp), which answers as the linear search does.
constexpr uint32_t kIndexedHashCount = 16;
int64_t hash_find_indexed(Value hash, uint32_t symbol);
inline int64_t hash_find(Value hash, uint32_t symbol) {
    if (hash_count(hash) >= kIndexedHashCount && !g_plain_paths) return hash_find_indexed(hash, symbol);
    return hash_find_linear(hash, symbol);
}
// The key index learns of a pair appended at `at` (hash_index.cpp).
void hash_index_appended(Value hash, Value key, uint32_t at);
// Appends (key, undefined) to a Hash, growing its vector by half its
// capacity (by 11 pairs on the plain paths) when the count has reached
// capacity - 1; returns the pair index.
uint32_t hash_append(Value hash, Value key);

// RegExp properties are read, and lastIndex read and written, through the
// pattern engine (hooks.h). A value stored in lastIndex becomes an integer
// (a Double is truncated, anything else counts as 0).
// Makes the lastIndex of `regexp` the current place.
void set_last_index_place(Value regexp);

// Number of UTF-8 characters in the text, counted by lead bytes.
uint32_t utf8_char_count(const char* text, uint32_t len);

}  // namespace koru
