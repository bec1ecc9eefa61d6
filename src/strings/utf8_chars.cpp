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

// Whether the 8 bytes at `at` are all ASCII and none of them is NUL.
bool ascii8_without_nul(std::string_view s, size_t at) {
    uint64_t w;
    std::memcpy(&w, s.data() + at, sizeof w);
    constexpr uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
    return (w & kHigh) == 0 && ((w - kOnes) & ~w & kHigh) == 0;
}

}  // namespace

CharPrefix char_prefix(std::string_view s, size_t max_chars) {
    size_t at = 0, n = 0;
    while (n < max_chars && at < s.size()) {
        if (max_chars - n >= 8 && s.size() - at >= 8 && ascii8_without_nul(s, at)) {
            at += 8;
            n += 8;
            continue;
        }
        if (s[at] == '\0') break;
        size_t end = next_char(s, at);
        // A NUL inside the sequence ends the counted text: the character is
        // cut off there.
        const void* nul = end - at > 1 ? std::memchr(s.data() + at + 1, 0, end - at - 1) : nullptr;
        ++n;
        if (nul) return {static_cast<size_t>(static_cast<const char*>(nul) - s.data()), n};
        at = end;
    }
    return {at, n};
}

size_t char_count(std::string_view s) { return walk(s, SIZE_MAX, SIZE_MAX).chars; }

size_t char_offset(std::string_view s, size_t n) { return walk(s, n, SIZE_MAX).bytes; }

size_t char_index(std::string_view s, size_t byte_offset) { return walk(s, SIZE_MAX, byte_offset).chars; }

}  // namespace koru
