// Text that a driver hands over in single bytes may be UTF-8 or the
// system's ANSI code page (CP932).  The bytes are scored from the start for
// evidence of either; ANSI text is converted to UTF-8.
#pragma once
#include <cstddef>
#include <string>

namespace koru {

struct NarrowScore {
    unsigned utf8 = 0;  // U
    unsigned ansi = 0;  // S
};
// Scores up to a NUL or `len` bytes, stopping once the counters differ by 12.
NarrowScore score_narrow_text(const char* text, size_t len);
// True when the text is taken as it is (pure ASCII, or U >= S).
bool narrow_is_utf8(const char* text, size_t len);
// CP932 bytes as UTF-8; a byte sequence that has no character becomes U+FFFD.
std::string cp932_to_utf8(const char* text, size_t len);
// The text as UTF-8, by the score.
std::string narrow_to_utf8(const char* text, size_t len);

}  // namespace koru
