// Random patterns, flags and subjects through exec, replace and split as
// scripts call them: every case ends in a result or in one of the errors
// those methods and the pattern compiler raise, never in a crash or a hang.
#include <random>
#include <set>
#include <string>

#include "interp/fixture.h"

namespace koru::test {
namespace {

const char* const kPatternPieces[] = {
    "a", "b", "ab", "A", "\\d", "\\w", "\\s", ".", "^", "$", "|", "(", ")", "(?:", "(?=", "(?!", "(?<=",
    "(?<n>", "[", "]", "[^", "a-c", "[^]", "*", "+", "?", "*?", "{2}", "{1,3}", "{0,1}", "\\1", "\\",
    "日", "-", ","};
const char* const kSubjectPieces[] = {"a", "b", "A", "ab", "1", "22", " ", "-", ",", "\n", "日本", "\xF0\x9F\x98\x80", "$"};
const char* const kTemplates[] = {"x", "$1", "$2", "[$<n>]", "$0", "\\$1", "$&"};
const char* const kFlags[] = {"", "g", "i", "gi", "m", "y", "gy", "s"};

template <size_t N>
std::string pieces(std::mt19937& rng, const char* const (&from)[N], int max) {
    std::string out;
    for (int k = std::uniform_int_distribution<int>(1, max)(rng); k > 0; --k)
        out += from[std::uniform_int_distribution<size_t>(0, N - 1)(rng)];
    return out;
}

template <size_t N>
const char* one_of(std::mt19937& rng, const char* const (&from)[N]) {
    return from[std::uniform_int_distribution<size_t>(0, N - 1)(rng)];
}

// A script string literal for any text.
std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\\' || c == '\'') out += '\\';
        if (c == '\n') out += "\\n";
        else out += c;
    }
    return out + "'";
}

bool allowed(int code) {
    static const std::set<int> kMethodErrors = {2716, 2717, 2718, 2732, 2745, 2750, 4800, 4850, 1400};
    return kMethodErrors.count(code) || (code >= 4600 && code <= 4810);
}

TEST(PatternMethodsFuzz, RandomPatternsEndInResultOrSpecifiedError) {
    std::mt19937 rng(20240605);
    int results = 0;
    for (int i = 0; i < 3000; ++i) {
        fresh_process();
        std::string pattern = quoted(pieces(rng, kPatternPieces, 8));
        std::string subject = quoted(pieces(rng, kSubjectPieces, 12));
        std::string flags = quoted(one_of(rng, kFlags));
        std::string tpl = quoted(one_of(rng, kTemplates));
        std::string script = "var re = RegExp(" + pattern + ", " + flags + "); var s = " + subject +
                             "; var m = re.exec(s); var a = s.replace(re, " + tpl + "); var b = s.split(re, 5);"
                             " var c = s.match(re); var r = 1;";
        Outcome o = run_script(script);
        ASSERT_FALSE(o.thrown) << script;
        if (o.error) {
            EXPECT_TRUE(allowed(o.code)) << script << "\n  " << o.code << ": " << o.message;
        } else {
            EXPECT_EQ(global_text("r"), "1") << script;
            ++results;
        }
    }
    EXPECT_GT(results, 300);  // enough cases get past the compiler to exercise the methods
}

}  // namespace
}  // namespace koru::test
