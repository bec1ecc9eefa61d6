// Character positions in UTF-8 text as the String methods count them: a
// character is one sequence whose length its lead byte gives (0xC0-0xDF two
// bytes, 0xE0-0xEF three, 0xF0-0xF7 four, 0xF8-0xFB five, 0xFC-0xFD six, any
// other byte one), and counting stops at a NUL byte.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "runtime/utf8.h"

namespace koru {

constexpr unsigned lead_length(uint8_t b) { return utf8_lead_length(b); }

// The text up to its first NUL byte.
std::string_view counted_text(std::string_view s);

// Number of characters.
size_t char_count(std::string_view s);

// Byte offset of character n; the text's length when n is at or beyond the
// last character (a sequence cut off by the end counts up to the end).
size_t char_offset(std::string_view s, size_t n);

// Character index of a byte offset that starts a character (or the end).
size_t char_index(std::string_view s, size_t byte_offset);

// The first `max_chars` characters of the counted text (all of it when it
// has fewer): their bytes and their number.  No byte after the last
// character passed is read, so the cost is that of the characters passed
// however long the text (a NUL further on is not looked for).
struct CharPrefix {
    size_t bytes;
    size_t chars;
};
CharPrefix char_prefix(std::string_view s, size_t max_chars);

}  // namespace koru
