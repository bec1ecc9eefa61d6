// UTF-8 <-> UTF-16 conversion for patterns and subjects.  (The compiler has
// its own converter for source text; the engine keeps this one so that it
// can turn characters beyond the Basic Multilingual Plane into surrogate
// pairs in subjects while refusing them in patterns.)
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace koru::regex {

// Pattern text to units; false when a character lies beyond the Basic
// Multilingual Plane.  Stops at a NUL byte; a stray byte gives U+FFFD.
bool pattern_units(std::string_view utf8, std::u16string& out);

// Subject text to units; characters beyond the plane become surrogate pairs.
void subject_units(std::string_view utf8, std::u16string& out);

// One unit (or a surrogate pair) as UTF-8.
void append_utf8(char32_t c, std::string& out);

}  // namespace koru::regex
