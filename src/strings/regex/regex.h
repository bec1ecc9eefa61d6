// The regular-expression engine's interface: compiling patterns into RegExp
// values (kind 7), their text form, and matching over UTF-16 subjects.
//
// Positions are UTF-16 unit indices into the subject.  Callers convert a
// script string with regex_subject() (which also upper-cases the copy under
// flag i, as matching requires) and take texts back with units_to_utf8().
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/value.h"

namespace koru {

// Which error routine a pattern error goes through: a literal in a module is
// a parse error, RegExp(...) at run time a runtime error.
enum class RaiseAs : uint8_t { Parse, Runtime };

// Letters g i m s u y to the flags byte (4795 for any other letter).
uint8_t parse_regex_flags(std::string_view letters, RaiseAs how);

// Compiles `count` units (4790 when there are none) into a RegExp value with
// a fresh reference count of 0 and lastIndex 0.
Value compile_regex(const char16_t* units, size_t count, uint8_t flags, RaiseAs how);

// RegExp(pattern, flags) at run time and the literal's pattern/flags pair:
// UTF-8 pattern text (4800 when it gives no units) and flag letters.
Value regexp_create(std::string_view pattern, std::string_view flags, RaiseAs how);

// A literal from the text after its opening "/": the pattern runs to the
// first "/" not directly preceded by a backslash, the flags are the letters
// right after it.  `consumed` counts the bytes through the flags.  Errors
// are parse errors (4805 when there is no closing "/").
struct RegexLiteral {
    Value regexp;
    size_t consumed;
};
RegexLiteral compile_regex_literal(const char* text, size_t len);

// The regenerated source text (for `source` and toString), appended to out.
void regex_to_text(Value regexp, std::string& out);
// Returns every block of a RegExp (the reference count's destroy path).
void regex_free(Value regexp);

// The RegExp object's fields.
uint8_t regex_flags(Value regexp);        // without the alternation mark
uint32_t regex_last_index(Value regexp);
void regex_set_last_index(Value regexp, uint32_t index);

// Capturing groups are numbered 1.. in the order of their "(" in the whole
// pattern (nested groups and every alternative included).
unsigned regex_group_count(Value regexp);
// The symbol number of group g's name, or 0 for an unnamed group.
uint32_t regex_group_name(Value regexp, unsigned group);

struct Span {
    int64_t start = -1;  // -1: the group took no part in the match
    int64_t end = -1;
    bool matched() const { return start >= 0; }
};
struct Captures {
    size_t start = 0;          // of the whole match
    size_t end = 0;
    std::vector<Span> groups;  // index 0 unused; 1..regex_group_count()
};

// Matches from `start` (sticky: only there; otherwise the first match at or
// after it).  The subject must come from regex_subject() for this pattern's
// flags.  False when there is no match (also for a start beyond the subject,
// or at the end of a subject that is not empty).  Raises 4850
// when the match exceeds the step or depth budget.
bool regex_exec(Value regexp, const char16_t* subject, size_t len, size_t start, Captures& out);
inline bool regex_exec(Value regexp, std::u16string_view subject, size_t start, Captures& out) {
    return regex_exec(regexp, subject.data(), subject.size(), start, out);
}

// UTF-8 text to UTF-16 units (characters beyond the Basic Multilingual Plane
// become surrogate pairs, stray bytes U+FFFD), with a-z upper-cased when
// `flags` has i.
std::u16string regex_subject(std::string_view utf8, uint8_t flags);
// UTF-16 units back to UTF-8 (a surrogate pair to one 4-byte character).
void units_to_utf8(const char16_t* units, size_t count, std::string& out);


}  // namespace koru
