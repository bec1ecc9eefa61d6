// The handlers behind the array method table.  Each receives the receiver,
// the evaluated arguments and their count (already checked against the
// method's rule) and returns the result: a new value, or the receiver.
#pragma once
#include <cstdint>

#include "runtime/value.h"

namespace koru {

using ArrayMethod = Value (*)(Value self, const Value* args, uint32_t n);

// array.cpp
Value array_concat(Value self, const Value* args, uint32_t n);
Value array_keys(Value self, const Value* args, uint32_t n);
Value array_reverse(Value self, const Value* args, uint32_t n);
Value array_index_of(Value self, const Value* args, uint32_t n);
Value array_last_index_of(Value self, const Value* args, uint32_t n);
Value array_includes(Value self, const Value* args, uint32_t n);
Value array_join(Value self, const Value* args, uint32_t n);
Value array_to_string(Value self, const Value* args, uint32_t n);
Value array_pop(Value self, const Value* args, uint32_t n);
Value array_push_method(Value self, const Value* args, uint32_t n);
Value array_shift(Value self, const Value* args, uint32_t n);
Value array_unshift(Value self, const Value* args, uint32_t n);

// array_ranges.cpp
Value array_slice(Value self, const Value* args, uint32_t n);
Value array_fill(Value self, const Value* args, uint32_t n);
Value array_copy_within(Value self, const Value* args, uint32_t n);
Value array_splice(Value self, const Value* args, uint32_t n);

// array_sort.cpp
Value array_sort(Value self, const Value* args, uint32_t n);

// keyed.cpp: the keyed-array variants
Value keyed_concat(Value self, const Value* args, uint32_t n);
Value keyed_keys(Value self, const Value* args, uint32_t n);
Value keyed_index_of(Value self, const Value* args, uint32_t n);
Value keyed_last_index_of(Value self, const Value* args, uint32_t n);
Value keyed_join(Value self, const Value* args, uint32_t n);
Value keyed_pop(Value self, const Value* args, uint32_t n);
Value keyed_push(Value self, const Value* args, uint32_t n);
Value keyed_shift(Value self, const Value* args, uint32_t n);
Value keyed_unshift(Value self, const Value* args, uint32_t n);

// [0, 1, ..., count - 1] as a new array of Ints.
Value positions_array(uint32_t count);

// Appends the elements of an array, or the entry values of a keyed array,
// to `out` (retained); anything else raises 2505.
void concat_into(Value out, Value source);

}  // namespace koru
