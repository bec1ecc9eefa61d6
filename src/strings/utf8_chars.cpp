#include "strings/utf8_chars.h"

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

}  // namespace

size_t char_count(std::string_view s) {
    s = counted_text(s);
    size_t n = 0;
    for (size_t at = 0; at < s.size(); at = next_char(s, at)) ++n;
    return n;
}

size_t char_offset(std::string_view s, size_t n) {
    s = counted_text(s);
    size_t at = 0;
    for (size_t i = 0; i < n && at < s.size(); ++i) at = next_char(s, at);
    return at;
}

size_t char_index(std::string_view s, size_t byte_offset) {
    s = counted_text(s);
    size_t n = 0;
    for (size_t at = 0; at < s.size() && at < byte_offset; at = next_char(s, at)) ++n;
    return n;
}

}  // namespace koru
