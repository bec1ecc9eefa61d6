// The pattern compiler and matcher.  The input is one byte of flags (bits
// 0-5: g i m s u y), the pattern up to the first NUL byte, and the subject
// after it.  Every pattern compiles or ends in a pattern error; every
// compiled pattern has a text form (or its error) and matches within the
// subject, with as many groups as the pattern has.
#include <string>
#include <string_view>

#include "harness.h"
#include "runtime/area.h"
#include "runtime/refcount.h"
#include "strings/regex/regex.h"

using namespace koru;

namespace {

constexpr int kMatchBudgetCode = 4850;

std::string flag_letters(uint8_t bits) {
    static const char kLetters[] = "gimsuy";
    std::string out;
    for (int i = 0; i < 6; ++i)
        if (bits & (1u << i)) out += kLetters[i];
    return out;
}

void check_captures(Value re, const std::u16string& subject, size_t from, const Captures& c) {
    fuzz::require(c.start <= c.end, "a match ends before it starts");
    fuzz::require(c.end <= subject.size(), "a match ends past the subject");
    fuzz::require(c.start >= from, "a match starts before its start position");
    fuzz::require(c.groups.size() == regex_group_count(re) + 1, "the groups differ from the pattern's count");
    for (size_t g = 1; g < c.groups.size(); ++g) {
        const Span& s = c.groups[g];
        if (!s.matched()) continue;
        fuzz::require(s.start <= s.end, "a group ends before it starts");
        fuzz::require(static_cast<size_t>(s.end) <= subject.size(), "a group ends past the subject");
    }
}

// The first matches from the start, as a global search walks them.
void match_all(Value re, std::string_view subject_text) {
    std::u16string subject = regex_subject(subject_text, regex_flags(re));
    size_t from = 0;
    for (int k = 0; k < 16 && from <= subject.size(); ++k) {
        Captures c;
        try {
            if (!regex_exec(re, subject, from, c)) return;
        } catch (const Unwind& u) {
            fuzz::require(fuzz::error_code(u) == kMatchBudgetCode, "the matcher raised another error than its budget");
            return;
        }
        check_captures(re, subject, from, c);
        from = c.end > c.start ? c.end : c.end + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    fuzz::fuzz_reset();
    if (data[0] & 0x80) enter_run_phase();  // blocks from the run phase's size classes
    std::string flags = flag_letters(data[0]);
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string_view pattern = fuzz::split_at_nul(rest);
    std::string_view subject = rest;
    Value re;
    try {
        re = regexp_create(pattern, flags, RaiseAs::Runtime);
    } catch (const Unwind& u) {
        fuzz::require(fuzz::is_error_object(u), "the pattern compiler raised something other than an error");
        fuzz::fuzz_reset();
        return 0;
    }
    value_retain(re);
    // The text form is written as the pattern's nodes read back (it need
    // not compile to the same pattern: escapes and group names are not
    // kept); a node it cannot write is an error of its own.
    try {
        std::string source;
        regex_to_text(re, source);
    } catch (const Unwind& u) {
        fuzz::require(fuzz::is_error_object(u), "the text form raised something other than an error");
    }
    match_all(re, subject);
    value_release(re);
    fuzz::fuzz_reset();
    return 0;
}
