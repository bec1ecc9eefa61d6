// The String and RegExp method families: what start-up registers with the
// interpreter.
#pragma once

#include <cstdint>

#include "runtime/value.h"

namespace koru {

// The string-method table (s.name(...)).
void install_string_methods();
// The RegExp methods exec, test and toString.
void install_regexp_methods();

// new RegExp(pattern[, flags]).
Value regexp_construct(const Value* args, uint32_t n);
// A pattern literal of a module: its pattern errors are parse errors.
Value regexp_literal(const char* pattern, const char* flags);
// A RegExp property (flags, global, lastIndex, ...): sets the place for
// lastIndex; 5080 for an unknown name.
Value regexp_property(Value regexp, uint32_t name_symbol);

}  // namespace koru
