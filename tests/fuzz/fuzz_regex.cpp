// Random patterns and subjects through the compiler and the matcher: each
// case ends in a result or in one of the pattern errors, never in a crash,
// a hang or a result outside the subject.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>

#include "host/errors.h"
#include "host/process.h"
#include "runtime/area.h"
#include "runtime/refcount.h"
#include "strings/regex/regex.h"

namespace koru {
namespace {

const char* const kPieces[] = {
    "a", "b", "ab", "x", "\\d", "\\w", "\\s", "\\W", "\\b", "\\B", ".", "^", "$", "|", "(", ")", "(?:",
    "(?=", "(?!", "(?<=", "(?<!", "(?<n>", "[", "]", "[^", "-", "a-c", "[^]", "*", "+", "?", "*?", "+?",
    "??", "{2}", "{1,3}", "{2,}", "{0,1}", "{,2}", "{3,1}", "\\1", "\\2", "\\", "\\x41", "\\u0062", "\\cA",
    "\\n", "\\.", "\\q", "{", "}", "日", "\\u{41}"};

std::string random_pattern(std::mt19937& rng) {
    std::uniform_int_distribution<size_t> pick(0, std::size(kPieces) - 1);
    std::uniform_int_distribution<int> len(1, 10);
    std::string p;
    for (int k = len(rng); k > 0; --k) p += kPieces[pick(rng)];
    return p;
}

// Mostly well-formed patterns, so that the matcher sees many of them.
std::string grammar_pattern(std::mt19937& rng, int depth);

std::string grammar_atom(std::mt19937& rng, int depth) {
    static const char* const kAtoms[] = {"a", "b", "ab", "x", "\\d", "\\w", "\\s", ".", "[ab]", "[^a\\d]", "[^]", "\\W"};
    int kind = std::uniform_int_distribution<int>(0, depth > 0 ? 9 : 5)(rng);
    if (kind <= 5) return kAtoms[std::uniform_int_distribution<size_t>(0, std::size(kAtoms) - 1)(rng)];
    std::string inner = grammar_pattern(rng, depth - 1);
    switch (kind) {
    case 6: return "(?:" + inner + ")";
    case 7: return "(" + inner + ")";
    case 8: return "(?=" + inner + ")";
    default: return "(?<!" + inner + ")";
    }
}

std::string grammar_pattern(std::mt19937& rng, int depth) {
    static const char* const kQuants[] = {"", "", "", "*", "+", "?", "*?", "+?", "??", "{2}", "{1,3}", "{2,}?"};
    std::string p;
    for (int k = std::uniform_int_distribution<int>(1, 4)(rng); k > 0; --k) {
        p += grammar_atom(rng, depth);
        p += kQuants[std::uniform_int_distribution<size_t>(0, std::size(kQuants) - 1)(rng)];
    }
    if (std::uniform_int_distribution<int>(0, 5)(rng) == 0) {
        p += '|';
        p += grammar_pattern(rng, depth - 1);
    }
    return p;
}

std::string random_subject(std::mt19937& rng, size_t max_len) {
    static const char* const kUnits[] = {"a", "b", "x", "1", " ", "\n", "A", "_", "日"};
    std::uniform_int_distribution<size_t> pick(0, std::size(kUnits) - 1);
    std::uniform_int_distribution<size_t> len(1, max_len);
    std::string s;
    for (size_t k = len(rng); k > 0; --k) s += kUnits[pick(rng)];
    return s;
}

std::string error_code(const Unwind& u) {
    if (u.value.kind() != Kind::Exception) return "(not an error)";
    ErrorView e = error_view(u.value);
    return std::string(e.code, e.code_len);
}

TEST(RegexFuzz, RandomPatternsEndInResultOrError) {
    const std::set<std::string> pattern_codes = {
        "4600", "4605", "4610", "4615", "4625", "4630", "4635", "4640", "4645", "4650", "4655", "4660",
        "4665", "4670", "4675", "4680", "4685", "4687", "4690", "4695", "4700", "4705", "4710", "4715",
        "4720", "4745", "4750", "4755", "4760", "4765", "4770", "4775", "4780", "4785", "4790", "4800",
        "4810"};
    std::mt19937 rng(20240517);
    std::uniform_int_distribution<int> flag_pick(0, 15);
    int compiled = 0, matched = 0;
    for (int round = 0; round < 4000; ++round) {
        process_reset();
        if (round % 3 == 0) enter_run_phase();  // blocks from the size classes, dropped below
        std::string pattern = round % 2 ? random_pattern(rng) : grammar_pattern(rng, 2);
        int fbits = flag_pick(rng);
        std::string flags = std::string(fbits & 1 ? "i" : "") + (fbits & 2 ? "m" : "") + (fbits & 4 ? "s" : "") +
                            (fbits & 8 ? "y" : "");
        Value re;
        try {
            re = regexp_create(pattern, flags, RaiseAs::Runtime);
        } catch (const Unwind& u) {
            std::string code = error_code(u);
            EXPECT_TRUE(pattern_codes.count(code)) << pattern << " raised " << code;
            continue;
        }
        ++compiled;
        std::string source;
        regex_to_text(re, source);  // the text form exists for every compiled pattern
        for (int k = 0; k < 3; ++k) {
            std::u16string subject = regex_subject(random_subject(rng, k == 2 ? 300 : 20), regex_flags(re));
            size_t from = std::uniform_int_distribution<size_t>(0, subject.size())(rng);
            Captures c;
            try {
                if (!regex_exec(re, subject, from, c)) continue;
            } catch (const Unwind& u) {
                EXPECT_EQ(error_code(u), "4850") << pattern;
                continue;
            }
            ++matched;
            EXPECT_LE(c.start, c.end) << pattern;
            EXPECT_LE(c.end, subject.size()) << pattern;
            EXPECT_GE(c.start, from) << pattern;
            for (const Span& g : c.groups) {
                if (!g.matched()) continue;
                EXPECT_LE(g.start, g.end) << pattern;
                EXPECT_LE(static_cast<size_t>(g.end), subject.size()) << pattern;
            }
        }
        value_drop_temp(re);
    }
    // The generator must reach both outcomes often, or the test proves little.
    EXPECT_GT(compiled, 800);
    EXPECT_GT(matched, 800);
    process_reset();
}

}  // namespace
}  // namespace koru
