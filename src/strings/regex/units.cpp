#include "strings/regex/units.h"

#include <cstdint>
#include <cstring>

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
    // No byte gives more than one unit (a four-byte character gives two),
    // so the units are written in place and the rest cut off.  ASCII, the
    // usual text, is copied without decoding.
    out.assign(utf8.size(), u'\0');
    char16_t* w = out.data();
    size_t k = 0;
    const char* p = utf8.data();
    for (size_t i = 0, n = utf8.size(); i < n;) {
        if (i + 8 <= n) {
            // Eight ASCII bytes, none of them NUL, at a time.
            uint64_t v;
            std::memcpy(&v, p + i, 8);
            constexpr uint64_t kLow = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
            if (((v | ((v - kLow) & ~v)) & kHigh) == 0) {
                for (int b = 0; b < 8; ++b) w[k + b] = static_cast<uint8_t>(p[i + b]);
                k += 8;
                i += 8;
                continue;
            }
        }
        auto b = static_cast<uint8_t>(utf8[i]);
        if (b < 0x80) {
            if (b == 0) break;
            w[k++] = b;
            ++i;
            continue;
        }
        char32_t c = decode_one(utf8, i);
        if (c > 0x10FFFF) c = kReplacement;
        if (c > 0xFFFF) {
            c -= 0x10000;
            w[k++] = static_cast<char16_t>(0xD800 | (c >> 10));
            w[k++] = static_cast<char16_t>(0xDC00 | (c & 0x3FF));
        } else {
            w[k++] = static_cast<char16_t>(c);
        }
    }
    out.resize(k);
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

namespace {

// A unit at i and, for a surrogate pair, the one after it, as a character;
// advances i past them.
inline char32_t unit_character(const char16_t* units, size_t count, size_t& i) {
    char32_t c = units[i++];
    if (c >= 0xD800 && c <= 0xDBFF && i < count && units[i] >= 0xDC00 && units[i] <= 0xDFFF)
        c = 0x10000 + ((c - 0xD800) << 10) + (units[i++] - 0xDC00);
    return c;
}

// Whether the four units at u are all ASCII.
inline bool four_ascii(const char16_t* u) {
    uint64_t v;
    std::memcpy(&v, u, 8);
    return (v & 0xFF80FF80FF80FF80ull) == 0;
}

}  // namespace

void units_to_utf8(const char16_t* units, size_t count, std::string& out) {
    // The length first, then the bytes in place: one growth of `out`.
    size_t bytes = 0;
    for (size_t i = 0; i < count;) {
        if (i + 4 <= count && four_ascii(units + i)) {
            bytes += 4;
            i += 4;
            continue;
        }
        char32_t c = unit_character(units, count, i);
        bytes += c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    }
    size_t at = out.size();
    out.resize(at + bytes);
    char* w = out.data() + at;
    for (size_t i = 0; i < count;) {
        if (i + 4 <= count && four_ascii(units + i)) {
            for (int b = 0; b < 4; ++b) w[b] = static_cast<char>(units[i + b]);
            w += 4;
            i += 4;
            continue;
        }
        if (units[i] < 0x80) {
            *w++ = static_cast<char>(units[i++]);
            continue;
        }
        char32_t c = unit_character(units, count, i);
        if (c < 0x800) {
            *w++ = static_cast<char>(0xC0 | c >> 6);
        } else {
            if (c < 0x10000) {
                *w++ = static_cast<char>(0xE0 | c >> 12);
            } else {
                *w++ = static_cast<char>(0xF0 | c >> 18);
                *w++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            }
            *w++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        }
        *w++ = static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace koru
