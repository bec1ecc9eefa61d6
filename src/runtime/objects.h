// Making and reading the basic cell objects.  Fresh objects carry count 0:
// the first value_drop_temp destroys them unless something retained them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "runtime/area.h"
#include "runtime/cell.h"
#include "runtime/value.h"

namespace koru {

Value make_int(int32_t n);
Value make_double(double d);
// A run-time string: capacity length + 8, a text block of length + 12 bytes.
Value make_string(const char* text, size_t len);
inline Value make_string(std::string_view s) { return make_string(s.data(), s.size()); }
// A new String of two texts one after the other.
Value make_string_joined(std::string_view a, std::string_view b);
// A new String of len bytes that the caller writes at `text` before it
// makes anything else.
Value make_string_to_fill(size_t len, char*& text);
// Arrays, keyed arrays and hashes with room for count + 10 entries and the
// given count (entries zeroed: undefined values).
Value make_array(uint32_t count);
Value make_keyed_array(uint32_t count);
Value make_hash(uint32_t count, uint32_t class_symbol = 0);

inline int32_t int_value(Value v) { return cell_as<IntCell>(v)->value; }
inline double double_value(Value v) { return cell_as<DoubleCell>(v)->value; }
inline const char* string_text(Value v) { return area_as<char>(cell_as<StringCell>(v)->text); }
inline uint32_t string_length(Value v) { return cell_as<StringCell>(v)->length; }
inline std::string_view string_view_of(Value v) { return {string_text(v), string_length(v)}; }

inline Value* array_elements(Value v) { return area_as<Value>(cell_as<ArrayCell>(v)->elements); }
inline uint32_t array_count(Value v) { return cell_as<ArrayCell>(v)->count; }
inline Pair* keyed_pairs(Value v) { return area_as<Pair>(cell_as<KeyedArrayCell>(v)->pairs); }
inline uint32_t keyed_count(Value v) { return cell_as<KeyedArrayCell>(v)->count; }
inline Pair* hash_pairs(Value v) { return area_as<Pair>(cell_as<HashCell>(v)->pairs); }
inline uint32_t hash_count(Value v) { return cell_as<HashCell>(v)->count; }

// Moves a keyed array's pairs into a zeroed vector of `capacity` pairs
// (at least its count) and records the new capacity.
void keyed_set_capacity(Value keyed, uint32_t capacity);

// Appends to an array, growing its vector by `step` entries when full; the
// element is retained.
void array_push(Value array, Value element, uint32_t step = 10);

}  // namespace koru
