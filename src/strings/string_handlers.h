// The handlers of the string-method table.  Each takes the receiver (a
// String) and the evaluated arguments, and returns a new value (or the
// receiver itself where the result is the receiver unchanged).
#pragma once
#include "strings/method_args.h"

namespace koru {

using StringMethod = Value (*)(Value self, const Args& args);

// Positions and pieces (string_slices.cpp).
Value str_char_at(Value self, const Args& args);
Value str_char_code_at(Value self, const Args& args);
Value str_substr(Value self, const Args& args);
Value str_substring(Value self, const Args& args);
Value str_slice(Value self, const Args& args);

// Searching (string_search.cpp).
Value str_index_of(Value self, const Args& args);
Value str_last_index_of(Value self, const Args& args);
Value str_includes(Value self, const Args& args);
Value str_starts_with(Value self, const Args& args);
Value str_ends_with(Value self, const Args& args);

// Building new text (string_build.cpp).
Value str_concat(Value self, const Args& args);
Value str_to_upper_case(Value self, const Args& args);
Value str_to_lower_case(Value self, const Args& args);
Value str_locale_compare(Value self, const Args& args);
Value str_pad_end(Value self, const Args& args);
Value str_pad_start(Value self, const Args& args);
Value str_repeat(Value self, const Args& args);
Value str_trim(Value self, const Args& args);
Value str_trim_start(Value self, const Args& args);
Value str_trim_end(Value self, const Args& args);

// With patterns (pattern_methods.cpp).
Value str_split(Value self, const Args& args);
Value str_replace(Value self, const Args& args);
Value str_replace_all(Value self, const Args& args);
Value str_search(Value self, const Args& args);
Value str_match(Value self, const Args& args);
Value str_match_all(Value self, const Args& args);

}  // namespace koru
