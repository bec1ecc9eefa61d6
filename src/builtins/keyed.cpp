// The keyed-array variants of the Array methods.  They work on the entry
// values; a search reports the matching entry by its position.
#include <cstring>
#include <vector>

#include "builtins/array_methods.h"
#include "builtins/containers.h"
#include "host/errors.h"
#include "interp/support.h"
#include "runtime/objects.h"
#include "runtime/refcount.h"
#include "runtime/text.h"

namespace koru {

namespace {

constexpr uint32_t kMaxPairs = 0x1FFFFFF0;  // 8-byte pairs, under 4 GiB
constexpr uint32_t kMaxIntKey = 0x00FFFFFF; // an integer key keeps 24 bits

void keyed_reserve(Value keyed, uint32_t need) {
    KeyedArrayCell* k = cell_as<KeyedArrayCell>(keyed);
    if (need <= k->capacity) return;
    if (need > kMaxPairs) raise_runtime(err::out_of_memory);
    keyed_set_capacity(keyed, need + 10);
}

// One above the largest integer key present, 0 when there is none.
uint32_t next_int_key(Value keyed) {
    uint32_t next = 0;
    const Pair* p = keyed_pairs(keyed);
    for (uint32_t i = 0, n = keyed_count(keyed); i < n; ++i)
        if (is_int_key(p[i].key) && p[i].key.low24() >= next) next = p[i].key.low24() + 1;
    if (next > kMaxIntKey) raise_runtime(err::out_of_memory);
    return next;
}

Value pair_value_at(const void* ctx, uint32_t i) { return keyed_pairs(*static_cast<const Value*>(ctx))[i].value; }

// Removes the entry at i, handing its value to the caller as a temporary
// unless someone else holds it.
Value take_entry(Value self, uint32_t i) {
    KeyedArrayCell* k = cell_as<KeyedArrayCell>(self);
    Pair* p = keyed_pairs(self);
    Value v = p[i].value;
    std::memmove(p + i, p + i + 1, static_cast<size_t>(k->count - i - 1) * sizeof(Pair));
    p[--k->count] = Pair{};
    value_unref(v);
    return v;
}

}  // namespace

// A keyed array concatenates its values as an array does.
Value keyed_concat(Value self, const Value* args, uint32_t n) { return array_concat(self, args, n); }

Value keyed_keys(Value self, const Value*, uint32_t) { return positions_array(keyed_count(self)); }

Value keyed_index_of(Value self, const Value* args, uint32_t n) {
    if (!searchable(args[0])) raise_runtime(err::index_of_argument);
    uint32_t count = keyed_count(self);
    uint32_t from = n > 1 ? normalise_position(int_arg(args[1], err::array_position_not_int), count) : 0;
    const Pair* p = keyed_pairs(self);
    for (uint32_t i = from; i < count; ++i)
        if (search_matches(p[i].value, args[0])) return make_int(static_cast<int32_t>(i));
    return make_int(-1);
}

Value keyed_last_index_of(Value self, const Value* args, uint32_t n) {
    if (!searchable(args[0])) raise_runtime(err::last_index_of_argument);
    uint32_t count = keyed_count(self);
    uint32_t end = count;
    if (n > 1) {
        uint32_t from = normalise_position(int_arg(args[1], err::array_position_not_int), count);
        end = from >= count ? count : from + 1;
    }
    const Pair* p = keyed_pairs(self);
    for (uint32_t i = end; i > 0; --i)
        if (search_matches(p[i - 1].value, args[0])) return make_int(static_cast<int32_t>(i - 1));
    return make_int(-1);
}

Value keyed_join(Value self, const Value* args, uint32_t n) {
    return join_values(keyed_count(self), pair_value_at, &self, n ? &args[0] : nullptr);
}

Value keyed_pop(Value self, const Value*, uint32_t) {
    uint32_t count = keyed_count(self);
    return count ? take_entry(self, count - 1) : kUndefinedValue;
}

Value keyed_shift(Value self, const Value*, uint32_t) {
    return keyed_count(self) ? take_entry(self, 0) : kUndefinedValue;
}

// New entries take integer keys one above the largest present, in order.
Value keyed_push(Value self, const Value* args, uint32_t n) {
    uint32_t key = next_int_key(self);
    if (n > kMaxIntKey + 1 - key) raise_runtime(err::out_of_memory);
    keyed_reserve(self, keyed_count(self) + n);
    Pair* p = keyed_pairs(self);
    KeyedArrayCell* k = cell_as<KeyedArrayCell>(self);
    for (uint32_t i = 0; i < n; ++i) p[k->count++] = Pair{Value::int_key(key + i), value_retain(args[i])};
    return make_int(static_cast<int32_t>(k->count));
}

// The entries inserted at the front get keys as push gives them: entries
// keep their keys, so there is no renumbering to make room.
Value keyed_unshift(Value self, const Value* args, uint32_t n) {
    uint32_t key = next_int_key(self);
    if (n > kMaxIntKey + 1 - key) raise_runtime(err::out_of_memory);
    uint32_t count = keyed_count(self);
    keyed_reserve(self, count + n);
    Pair* p = keyed_pairs(self);
    std::memmove(p + n, p, static_cast<size_t>(count) * sizeof(Pair));
    for (uint32_t i = 0; i < n; ++i) p[i] = Pair{Value::int_key(key + i), value_retain(args[i])};
    cell_as<KeyedArrayCell>(self)->count = count + n;
    return make_int(static_cast<int32_t>(count + n));
}

}  // namespace koru
