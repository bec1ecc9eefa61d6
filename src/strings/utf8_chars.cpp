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

}  // namespace

size_t char_count(std::string_view s) {
    s = counted_text(s);
    size_t n = 0;
    for (size_t at = 0; at < s.size();) {
        if (s.size() - at >= 8 && ascii8(s, at)) {
            at += 8;
            n += 8;
            continue;
        }
        at = next_char(s, at);
        ++n;
    }
    return n;
}

size_t char_offset(std::string_view s, size_t n) {
    s = counted_text(s);
    size_t at = 0;
    for (size_t i = 0; i < n && at < s.size();) {
        if (n - i >= 8 && s.size() - at >= 8 && ascii8(s, at)) {
            at += 8;
            i += 8;
            continue;
        }
        at = next_char(s, at);
        ++i;
    }
    return at;
}

size_t char_index(std::string_view s, size_t byte_offset) {
    s = counted_text(s);
    size_t n = 0;
    for (size_t at = 0; at < s.size() && at < byte_offset;) {
        if (byte_offset - at >= 8 && s.size() - at >= 8 && ascii8(s, at)) {
            at += 8;
            n += 8;
            continue;
        }
        at = next_char(s, at);
        ++n;
    }
    return n;
}

}  // namespace koru
