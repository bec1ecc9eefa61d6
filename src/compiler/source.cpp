#include "compiler/source.h"

#include <array>
#include <cstring>

#include "compiler/state.h"
#include "host/errors.h"
#include "runtime/symbols.h"

namespace koru {

namespace {

bool is_quote(char c) { return c == '"' || c == '\'' || c == '`'; }

// The bytes a scan for quotes stops at: the three quotes and the NUL.
constexpr std::array<bool, 256> make_quote_or_end() {
    std::array<bool, 256> t{};
    t[0] = t['"'] = t['\''] = t['`'] = true;
    return t;
}
constexpr std::array<bool, 256> kQuoteOrEnd = make_quote_or_end();
inline bool quote_or_end(char c) { return kQuoteOrEnd[static_cast<unsigned char>(c)]; }

// Whether the byte at p is preceded by an odd number of backslashes, not
// looking back before `floor`.
bool escaped(const char* floor, const char* p) {
    unsigned n = 0;
    while (p > floor && p[-1] == '\\') {
        --p;
        ++n;
    }
    return n & 1;
}

// The opening quote of a literal that is still open at `to`, scanning the
// quotes of [from, to) in order of appearance; null when none is open.
const char* open_literal(const char* from, const char* to) {
    const char* p = from;
    while (p < to && *p) {
        if (!is_quote(*p)) {
            ++p;
            while (p < to && !quote_or_end(*p)) ++p;
            continue;
        }
        const char* end = find_string_end(p + 1, *p);
        if (!end || end >= to) return p;
        p = end + 1;
    }
    return nullptr;
}

// Fills [from, to] with spaces, keeping newlines.
void blank(char* from, char* to) {
    for (char* c = from; c <= to; ++c)
        if (*c != '\n') *c = ' ';
}

// Block comments, first pass of strip_comments.
void strip_block_comments(char* text) {
    char* pos = text;
    while (char* open = std::strstr(pos, "/*")) {
        if (const char* lit = open_literal(pos, open)) {
            // Skip the literal the "/*" lies in and search again after it.
            const char* end = find_string_end(lit + 1, *lit);
            if (!end) return;  // an unterminated literal: the compiler reports it
            pos = const_cast<char*>(end) + 1;
            continue;
        }
        char* search = open + 2;
        for (;;) {
            char* close = std::strstr(search, "*/");
            if (!close) compile_error(err::comment_unclosed);
            char q;
            if (!in_open_string(open + 2, close, &q)) {
                blank(open, close + 1);
                break;
            }
            // A lone quote inside the comment: it runs on past the next quote.
            const char* end = find_string_end(close, q);
            if (!end) compile_error(err::comment_unclosed);
            search = const_cast<char*>(end) + 1;
        }
        pos = open;
    }
}

void strip_line_comments(char* text) {
    char* pos = text;
    while (char* slash = std::strstr(pos, "//")) {
        if (const char* lit = open_literal(pos, slash)) {
            const char* end = find_string_end(lit + 1, *lit);
            if (!end) return;
            pos = const_cast<char*>(end) + 1;
            continue;
        }
        char* nl = std::strchr(slash, '\n');
        if (!nl) {
            *slash = '\0';
            return;
        }
        blank(slash, nl - 1);
        pos = nl;
    }
}

}  // namespace

void begin_text(const char* text, uint32_t first_line) {
    g_compiler.line = first_line;
    g_compiler.line_start = text - 1;
}

char* skip_space(char* p) {
    for (;; ++p) {
        char c = *p;
        if (c == '\n') {
            ++g_compiler.line;
            g_compiler.line_start = p;
        } else if (c != ' ' && c != '\t' && c != '\r') {
            return p;
        }
    }
}

const char* skip_space(const char* p) { return skip_space(const_cast<char*>(p)); }

void strip_comments(char* text) {
    strip_block_comments(text);
    strip_line_comments(text);
}

const char* find_string_end(const char* p, char quote) {
    const char* start = p;
    for (; *p; ++p)
        if (*p == quote && !escaped(start, p)) return p;
    return nullptr;
}

bool in_open_string(const char* from, const char* to, char* quote) {
    const char* lit = open_literal(from, to);
    if (lit && quote) *quote = *lit;
    return lit != nullptr;
}

char* find_unquoted(char* p, char ch) {
    char* start = p;
    for (; *p; ++p) {
        // Bytes that are neither `ch`, a quote nor the end are passed at once.
        while (*p != ch && !quote_or_end(*p)) ++p;
        if (!*p) break;
        if (*p == ch && (p == start || p[-1] != '\\')) return p;
        if (is_quote(*p)) {
            const char* end = find_string_end(p + 1, *p);
            if (!end) return nullptr;
            p = const_cast<char*>(end);
        }
    }
    return nullptr;
}

char* find_close(char* p, char close, char open) {
    // Both searches are remembered until the scan passes them, so a deeply
    // nested text is walked once, not once per bracket.
    char* next_open = find_unquoted(p, open);
    char* next_close = find_unquoted(p, close);
    unsigned depth = 0;
    for (;;) {
        if (!next_close) return nullptr;
        if (next_open && next_open < next_close) {
            ++depth;
            p = next_open + 1;
            next_open = find_unquoted(p, open);
            continue;
        }
        if (depth == 0) return next_close;
        --depth;
        p = next_close + 1;
        next_close = find_unquoted(p, close);
        if (next_open && next_open < p) next_open = find_unquoted(p, open);
    }
}

char* read_name(char* p, uint32_t* number) {
    char* q = p;
    while (is_name_char(*q) && q - p < static_cast<long>(kMaxNameLength) + 3) ++q;
    size_t len = static_cast<size_t>(q - p);
    if (len > kMaxNameLength) compile_error(err::name_too_long);
    *number = intern(p, len, symbol_key(p, len));
    return q;
}

const char* excerpt(const char* p, unsigned n) {
    static char buf[512];
    size_t out = 0;
    for (unsigned chars = 0; chars < n && *p && *p != '\n'; ++chars) {
        if (*p == '\r' && p[1] == '\n') break;
        unsigned char c = static_cast<unsigned char>(*p);
        size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        size_t have = 1;
        while (have < len && p[have] && p[have] != '\n') ++have;
        if (out + have > 510) break;
        std::memcpy(buf + out, p, have);
        out += have;
        p += have;
    }
    buf[out] = '\0';
    return buf;
}

size_t utf8_to_utf16(const char* text, size_t len, uint16_t* units, size_t max, TextError error) {
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    size_t i = 0, n = 0;
    while (i < len && n < max && s[i]) {
        unsigned c = s[i];
        size_t extra = c >= 0xC0 && c <= 0xDF ? 1 : c >= 0xE0 && c <= 0xEF ? 2 : c >= 0xF0 && c <= 0xF7 ? 3 : 0;
        if (c < 0x80) {
            units[n++] = static_cast<uint16_t>(c);
            ++i;
            continue;
        }
        bool complete = extra > 0 && i + extra < len;  // every continuation byte inside the text
        for (size_t k = 1; complete && k <= extra; ++k) complete = s[i + k] != 0;
        if (!complete) {
            units[n++] = 0xFFFD;  // a stray or cut-off byte
            ++i;
            continue;
        }
        uint32_t v = c & (0x3F >> extra);
        for (size_t k = 1; k <= extra; ++k) v = v << 6 | (s[i + k] & 0x3F);
        if (v >= 0x10000) {
            if (error == TextError::Runtime) raise_runtime(err::surrogate_character);
            compile_error(err::surrogate_character);
        }
        if (v == 0) break;
        units[n++] = static_cast<uint16_t>(v);
        i += extra + 1;
    }
    return n;
}

size_t utf16_to_utf8(const uint16_t* units, size_t count, char* out, size_t size) {
    if (size == 0) return 0;
    size_t o = 0;
    for (size_t i = 0; i < count && units[i]; ++i) {
        unsigned u = units[i];
        size_t need = u < 0x80 ? 1 : u < 0x800 ? 2 : 3;
        if (o + need >= size) break;
        if (need == 1) {
            out[o++] = static_cast<char>(u);
        } else if (need == 2) {
            out[o++] = static_cast<char>(0xC0 | u >> 6);
            out[o++] = static_cast<char>(0x80 | (u & 0x3F));
        } else {
            out[o++] = static_cast<char>(0xE0 | u >> 12);
            out[o++] = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out[o++] = static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    out[o] = '\0';
    return o;
}

}  // namespace koru
