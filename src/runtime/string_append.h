// Adding text to the end of a String in its own cell, for a String that
// only one place holds: the block grows to twice the text when it is full,
// so a run of appends copies each byte a bounded number of times.
#pragma once
#include <string_view>

#include "runtime/value.h"

namespace koru {

// `tail` must not lie in the String's own text.
void string_append(Value str, std::string_view tail);

}  // namespace koru
