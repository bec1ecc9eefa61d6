// Literals become value cells at compile time: strings, numbers, array and
// object literals (whose element values may be any expression).
#pragma once
#include <cstdint>

#include "runtime/value.h"

namespace koru {

// The text after the opening quote; returns the address after the closing one.
char* compile_string(char* p, char quote, Value* out);
// Digits (or ".5", "0x1F"); `sign` is +1 or -1.  An integer whose magnitude
// is 2^31 or more becomes a Double cell.
char* compile_number(char* p, Value* out, int sign);
// The text after '[' / '{'; return the address after the closing bracket.
char* compile_array(char* p, Value* out);
char* compile_object(char* p, Value* out);
// The text after the opening '/' of a pattern literal.
char* compile_regex_literal(char* p, Value* out, uint32_t position);

// The pattern engine compiles the literal (hooks.h: regex_literal).

}  // namespace koru
