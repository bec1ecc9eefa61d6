// Reading the arguments of the String and RegExp methods.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/objects.h"
#include "runtime/value.h"

namespace koru {

// The arguments a handler received; a missing one reads as undefined.
struct Args {
    const Value* values;
    uint32_t count;
    Value at(uint32_t i) const { return i < count ? values[i] : kUndefinedValue; }
    bool has(uint32_t i) const { return i < count; }
};

inline bool is_string(Value v) { return v.kind() == Kind::String; }
inline bool is_int(Value v) { return v.kind() == Kind::Int; }
inline bool is_number(Value v) { return v.kind() == Kind::Int || v.kind() == Kind::Double; }

// An integer argument: the Int's value, or `other` for any other type.
inline int64_t int_or(Value v, int64_t other) { return is_int(v) ? int_value(v) : other; }
// A number argument: an Int, or a Double floored (NaN counts as 0, and the
// result is held within the 32-bit range).
int64_t number_value(Value v);

inline std::string_view text_of(Value string) { return string_view_of(string); }
// The plain text form of any value (what String(x) gives).
std::string plain_text(Value v);

// Raised when a result would be too large to hold.
[[noreturn]] void out_of_memory();
// The limit on a built string; beyond it the result cannot be held.
constexpr size_t kMaxStringBytes = size_t{1} << 30;

}  // namespace koru
