// Source preparation and the scanning helpers every parser of the compiler
// uses: comment removal, whitespace with line counting, string-aware search
// for delimiters, identifiers, error excerpts and UTF-8/UTF-16 conversion.
#pragma once
#include <cstddef>
#include <cstdint>

namespace koru {

// Prepares the compiler for a text: line 1 (or `first_line`), the line start
// just before the first byte so that column 1 is the first character.
void begin_text(const char* text, uint32_t first_line = 1);

// Skips space, tab, CR and LF, counting lines; returns the first other byte.
char* skip_space(char* p);
const char* skip_space(const char* p);

// Removes block and line comments in place; newlines stay, so line numbers
// stay too.  Raises 1580 for an unclosed block comment.
void strip_comments(char* text);

// Whether `to` lies inside a string literal opened in [from, to); gives the
// opening quote.
bool in_open_string(const char* from, const char* to, char* quote);

// The closing quote of a literal opened just before p (a quote preceded by an
// odd number of backslashes is escaped); null when there is none.
const char* find_string_end(const char* p, char quote);

// First `ch` at or after p outside string literals and not after a
// backslash; null when there is none (the search stops at a NUL).
char* find_unquoted(char* p, char ch);

// The `close` that balances the text at p, counting nested `open`s.
char* find_close(char* p, char close, char open);

constexpr unsigned kMaxNameLength = 200;
inline bool is_name_start(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
inline bool is_name_char(char c) { return is_name_start(c) || (c >= '0' && c <= '9'); }

// Reads and interns the identifier at p (which must start a name); raises
// 1005 for a name longer than 200 bytes.
char* read_name(char* p, uint32_t* number);

// A copy of the source from p for messages: at most n characters (a UTF-8
// sequence counts as one), stopping before a line end and at 510 bytes.  The
// buffer is static and overwritten by the next call.
const char* excerpt(const char* p, unsigned n);

// Whether 1595 is raised as a parse error (source text) or as a runtime
// error that a script's try takes (text a running statement sends on).
enum class TextError { Parse, Runtime };

// UTF-8 to UTF-16 units: at most `len` bytes and `max` units, stopping at a
// NUL; raises 1595 for a character outside the Basic Multilingual Plane.
// A byte that cannot start a sequence gives U+FFFD.
size_t utf8_to_utf16(const char* text, size_t len, uint16_t* units, size_t max,
                     TextError error = TextError::Parse);
// UTF-16 units to UTF-8 with a terminating NUL (size includes it); returns
// the byte count.
size_t utf16_to_utf8(const uint16_t* units, size_t count, char* out, size_t size);

}  // namespace koru
