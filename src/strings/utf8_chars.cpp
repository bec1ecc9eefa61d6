#include "strings/utf8_chars.h"

#include <cstdint>
#include <cstring>

namespace koru {

std::string_view counted_text(std::string_view s) {
    size_t nul = s.find('\0');
    return nul == std::string_view::npos ? s : s.substr(0, nul);
}

namespace {

// The byte after the character that starts at `at`, never past the end.
size_t next_char(std::string_view s, size_t at) {
    size_t w = lead_length(static_cast<uint8_t>(s[at]));
    return w > s.size() - at ? s.size() : at + w;
}

// Whether the 8 bytes at `at` are all ASCII: each is a character of its own,
// so a run of them is passed over in one step.
bool ascii8(std::string_view s, size_t at) {
    uint64_t w;
    std::memcpy(&w, s.data() + at, sizeof w);
    return (w & 0x8080808080808080ull) == 0;
}

struct Walked {
    size_t bytes;
    size_t chars;
};

// Walks from the start of the counted text over at most `max_chars`
// characters and up to byte `max_bytes`, a run of ASCII bytes in one step.
Walked walk(std::string_view s, size_t max_chars, size_t max_bytes) {
    s = counted_text(s);
    size_t end = max_bytes < s.size() ? max_bytes : s.size();
    size_t at = 0, n = 0;
    while (n < max_chars && at < end) {
        if (max_chars - n >= 8 && end - at >= 8 && ascii8(s, at)) {
            at += 8;
            n += 8;
            continue;
        }
        at = next_char(s, at);
        ++n;
    }
    return {at, n};
}

}  // namespace

size_t char_count(std::string_view s) { return walk(s, SIZE_MAX, SIZE_MAX).chars; }

size_t char_offset(std::string_view s, size_t n) { return walk(s, n, SIZE_MAX).bytes; }

size_t char_index(std::string_view s, size_t byte_offset) { return walk(s, SIZE_MAX, byte_offset).chars; }

}  // namespace koru
