// The text forms of values: the display form (templates, console output,
// joining, the record stream) and the plain form (toString, String(x),
// error messages, the debugger).
#pragma once
#include <cstdint>
#include <string>

#include "runtime/value.h"

namespace koru {

// Appends the display form; `quote` puts strings in double quotes (unescaped).
void write_display(Value v, std::string& out, bool quote);
// Appends the plain form.
void write_plain(Value v, std::string& out);

// The scalar forms shared by both writers.
void write_double(double d, std::string& out);  // "%.10f", trailing zeros trimmed to one decimal
void write_date(Value date, std::string& out);

// Joins count items with the separator (null: ","; otherwise it must be a
// String, error 2525) into a new String.
using ItemAt = Value (*)(const void* ctx, uint32_t i);
Value join_values(uint32_t count, ItemAt item_at, const void* ctx, const Value* separator);

// A RegExp's source text comes from the pattern engine (hooks.h: regex_source).

// Containers nested deeper than this have no text form (a container that
// holds itself would otherwise recurse without end).
constexpr unsigned kMaxTextDepth = 256;

}  // namespace koru
