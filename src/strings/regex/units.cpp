#include "strings/regex/units.h"

#include <cstdint>

#include "strings/regex/nodes.h"
#include "strings/regex/regex.h"

namespace koru::regex {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one character at s[i]; advances i.  A lead byte without its
// continuation bytes, or a stray continuation byte, gives U+FFFD.
char32_t decode_one(std::string_view s, size_t& i) {
    auto c = static_cast<uint8_t>(s[i]);
    size_t extra = c >= 0xC0 && c <= 0xDF ? 1 : c >= 0xE0 && c <= 0xEF ? 2 : c >= 0xF0 && c <= 0xF7 ? 3 : 0;
    if (c < 0x80) {
        ++i;
        return c;
    }
    bool complete = extra > 0;
    for (size_t k = 1; complete && k <= extra; ++k)
        complete = i + k < s.size() && (static_cast<uint8_t>(s[i + k]) & 0xC0) == 0x80;
    if (!complete) {
        ++i;
        return kReplacement;
    }
    char32_t v = c & (0x3F >> extra);
    for (size_t k = 1; k <= extra; ++k) v = v << 6 | (static_cast<uint8_t>(s[i + k]) & 0x3F);
    i += extra + 1;
    return v;
}

}  // namespace

bool pattern_units(std::string_view utf8, std::u16string& out) {
    out.clear();
    for (size_t i = 0; i < utf8.size() && utf8[i] != '\0';) {
        char32_t c = decode_one(utf8, i);
        if (c > 0xFFFF) return false;
        out.push_back(static_cast<char16_t>(c));
    }
    return true;
}

void subject_units(std::string_view utf8, std::u16string& out) {
    out.clear();
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size() && utf8[i] != '\0';) {
        char32_t c = decode_one(utf8, i);
        if (c > 0x10FFFF) c = kReplacement;
        if (c > 0xFFFF) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 | (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 | (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
}

void append_utf8(char32_t c, std::string& out) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | c >> 6));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | c >> 12));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | c >> 18));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

}  // namespace koru::regex

namespace koru {

std::u16string regex_subject(std::string_view utf8, uint8_t flags) {
    std::u16string units;
    regex::subject_units(utf8, units);
    if (flags & regex::kFlagIgnoreCase)
        for (char16_t& u : units)
            if (u >= u'a' && u <= u'z') u = static_cast<char16_t>(u - 0x20);
    return units;
}

void units_to_utf8(const char16_t* units, size_t count, std::string& out) {
    for (size_t i = 0; i < count; ++i) {
        char32_t c = units[i];
        bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF;
        if (pair) c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
        regex::append_utf8(c, out);
    }
}

}  // namespace koru
