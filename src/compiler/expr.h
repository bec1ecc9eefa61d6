// The expression compiler: a tokenizer fills a flat array of operand and
// operator slots, then one reducer per precedence level folds them into
// instruction cells.  Brackets and literals are compiled recursively and
// enter the array as single operands.
#pragma once
#include <cstdint>
#include <string>

#include "runtime/value.h"

namespace koru {

constexpr unsigned kTokenSlots = 1280;
constexpr unsigned kMaxTokens = 1023;
constexpr unsigned kMaxValues = 20;  // values one compile_value collects

// Compiles the list at `text` up to a NUL, a ';' outside brackets, or the end
// of a function literal.  At most capacity - 1 items (error 1123).  Returns
// the address after the list, past one ';' if it ended on one.
char* compile_list(char* text, Value* out, unsigned capacity, unsigned* count);
// The same, but stops at the ';' instead of consuming it (statements that
// end in a list leave the ';' to their caller).
char* compile_list_at(char* text, Value* out, unsigned capacity, unsigned* count);

// One element or member value of a literal, up to a top-level ',' (returns
// the address after it) or the end of the bracketed text.  At most 20 values
// are stored; `count` may be one more to show there were too many.
char* compile_value(char* text, Value* values, unsigned* count);

// Compiles the text of a bracket pair: `open` points at the opening bracket,
// `close` at its match; the closing byte is replaced by a NUL meanwhile.
// `leftover` receives a 20-character excerpt of what the list did not
// consume (empty when it consumed everything).
unsigned compile_bracketed(char* open, char* close, Value* out, unsigned capacity,
                           std::string* leftover);

}  // namespace koru
