// Helpers shared by the pattern-engine tests.
#pragma once
#include <string>

#include "strings/regex/regex.h"
#include "support/fresh.h"

namespace koru::testing {

// "start,end" of the first match at or after `from`, then "|" and each
// group as "start,end" or "-"; "none" without a match.
inline std::string run_match(const char* pattern, const char* flags, const char* subject, size_t from = 0) {
    Value re = regexp_create(pattern, flags, RaiseAs::Runtime);
    std::u16string units = regex_subject(subject, regex_flags(re));
    Captures c;
    if (!regex_exec(re, units, from, c)) return "none";
    std::string out = std::to_string(c.start) + "," + std::to_string(c.end);
    for (size_t g = 1; g < c.groups.size(); ++g) {
        const Span& s = c.groups[g];
        if (!s.matched()) {
            out += "|-";
            continue;
        }
        out += '|';
        out += std::to_string(s.start);
        out += ',';
        out += std::to_string(s.end);
    }
    return out;
}

// The code of the error a pattern raises, or "ok".
inline std::string compile_code(const char* pattern, const char* flags = "", RaiseAs how = RaiseAs::Runtime) {
    try {
        regexp_create(pattern, flags, how);
    } catch (const Unwind& u) {
        if (u.value.kind() != Kind::Exception) return "(not an error)";
        ErrorView e = error_view(u.value);
        return std::string(e.code, e.code_len);
    }
    return "ok";
}

}  // namespace koru::testing
