// Matching: the search order, the quantifier rules, anchors, classes,
// lookarounds, back-references, flags and wide capture positions.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "strings/regex/nodes.h"
#include "strings/regex/regex.h"
#include "strings/regex_support.h"

namespace koru {
namespace {

using testing::expect_raise;
using testing::run_match;
class RegexMatch : public testing::Fresh {};

TEST_F(RegexMatch, Table) {
    struct Case {
        const char* pattern;
        const char* flags;
        const char* subject;
        size_t from;
        const char* expect;  // "start,end|group|..." or "none"
    } cases[] = {
        // Alternation: earliest start, then the earlier alternative.
        {"a|ab", "", "xab", 0, "1,2"},
        {"b|a", "", "ab", 0, "0,1"},
        {"(a)|(b)", "", "b", 0, "0,1|-|0,1"},
        {"b|a", "y", "ab", 0, "0,1"},
        // Anchors with and without m.
        {"^b", "m", "a\nb", 0, "2,3"},
        {"^b", "", "a\nb", 0, "none"},
        {"a$", "m", "a\nb", 0, "0,1"},
        {"a$", "", "a\nb", 0, "none"},
        {"^", "", "abc", 0, "0,0"},
        {"$", "", "ab", 0, "2,2"},
        {"\\bfoo\\b", "", "a foo b", 0, "2,5"},
        {"\\Boo", "", "foo", 0, "1,3"},
        // Dot, [^] and the class escapes.
        {".", "", "\r", 0, "none"},
        {".", "", "\n", 0, "none"},
        {".", "s", "\r", 0, "0,1"},
        {"[^]", "", "\n", 0, "0,1"},
        {"\\s", "", "\f", 0, "none"},
        {"\\s", "", "\xC2\xA0", 0, "none"},
        {"\\s", "", "a b", 0, "1,2"},
        {"[\\d_]+", "", "ab_12c", 0, "2,5"},
        {"[^a-c\\s]", "", "ab c d", 0, "5,6"},
        // Flag i folds ASCII letters only.
        {"abc", "i", "xAbC", 0, "1,4"},
        {"abc", "i", "ABC", 0, "0,3"},
        {"[a-c]+", "i", "xBCa", 0, "1,4"},
        {"\xC3\xA9", "i", "\xC3\x89", 0, "none"},
        {"(a)\\1", "i", "aA", 0, "0,2|0,1"},
        // Back-references.
        {"(a*)b\\1", "", "b", 0, "none"},
        {"(a*)b\\1", "", "aba", 0, "0,3|0,1"},
        {"(\\w)\\1", "", "abccd", 0, "2,4|2,3"},
        // Greedy and lazy repetitions.
        {"a+?b", "", "aaab", 0, "0,4"},
        {"a*?", "", "aaa", 0, "0,0"},
        {"a+?", "", "aaa", 0, "0,1"},
        {"a*b", "", "xaab", 0, "1,4"},
        {"<.+>", "", "<a><b>", 0, "0,6"},
        {"<.+?>", "", "<a><b>", 0, "0,3"},
        {"a{2,3}", "", "aaaa", 0, "0,3"},
        {"a{2}", "", "aaa", 0, "0,2"},
        {"a{2,}?", "", "aaaa", 0, "0,2"},
        {"(?:ab)+c", "", "xababc", 0, "1,6"},
        {"(?:a|b)*c", "", "abac", 0, "0,4"},
        {"(\\d+)-(\\d+)", "", "2024-05", 0, "0,7|0,4|5,7"},
        // A leading ? node matches only at the search's start.
        {"x?y", "", "ay", 0, "none"},
        {"x?y", "", "ay", 1, "1,2"},
        {"colou?r", "", "color colour", 0, "0,5"},
        {"colou?r", "", "color colour", 1, "6,12"},
        {"a(?:bc)?d", "", "abcd", 0, "0,4"},
        {"a(?:bc)?d", "", "ad", 0, "0,2"},
        {"a??b", "", "ab", 0, "0,2"},
        // Sticky and start positions.
        {"a", "y", "ba", 0, "none"},
        {"a", "y", "ba", 1, "1,2"},
        {"a", "", "a", 1, "none"},
        // Lookarounds.
        {"a(?=b)", "", "acab", 0, "2,3"},
        {"a(?!b)", "", "abac", 0, "2,3"},
        {"(?<=\\$)\\d+", "", "cost $42", 0, "6,8"},
        {"(?<!\\$)\\d", "", "$4 5", 0, "3,4"},
        {"(?=.*\\d).{8,}", "", "abcdefg1", 0, "0,8"},
        {"(?=.*\\d).{8,}", "", "abcdefgh", 0, "none"},
        {"(?=\\w)(?!\\d)\\w+", "", "12ab", 0, "2,4"},
        // A lookahead on a quantified node is checked where its minimum
        // count ends.
        {"\\d+(?=px)", "", "12px", 0, "1,2"},
        // Groups nested in groups and in lookarounds take their numbers in
        // pattern order.
        {"((a)(b))c", "", "abc", 0, "0,3|0,2|0,1|1,2"},
        {"x(?=(y))", "", "xy", 0, "0,1|1,2"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(run_match(c.pattern, c.flags, c.subject, c.from), c.expect)
            << "/" << c.pattern << "/" << c.flags << " on '" << c.subject << "' from " << c.from;
}

// The end of the subject as the place where the rest of a pattern starts:
// after a quantifier that took only its minimum, inside a group, under a
// lookahead, and the empty subject, where it is the only position.
TEST_F(RegexMatch, EndOfSubject) {
    struct Case {
        const char* pattern;
        const char* subject;
        size_t from;
        const char* expect;
    } cases[] = {
        {"^\\d+$", "5", 0, "0,1"},
        {"^a+$", "a", 0, "0,1"},
        {"\\d+$", "5", 0, "0,1"},
        {"\\d+$", "x5", 0, "1,2"},
        {"^\\d{1,3}$", "5", 0, "0,1"},
        {"^\\d{1,3}$", "5555", 0, "none"},
        {"^\\d+$", "55", 0, "0,2"},
        {"^\\d+$", "5x", 0, "none"},
        {"\\d+?$", "5", 0, "0,1"},
        {"^\\d+?$", "55", 0, "0,2"},
        {"\\w+\\b", "a", 0, "0,1"},
        {"\\w{1,2}\\b", "ab", 0, "0,2"},
        {"\\d+\\B", "5", 0, "none"},
        {"a(?=$)", "a", 0, "0,1"},
        {"a(?!$)", "a", 0, "none"},
        {"a(?!$)", "aa", 0, "0,1"},
        {"a(?:b|$)", "a", 0, "0,1"},
        {"a(?:$|b)", "ab", 0, "0,2"},
        {"a(\\d*)$", "a", 0, "0,1|1,1"},
        // A leading repetition of nothing before a zero-width rest at 0.
        {"^\\W*\\B", "-a", 0, "0,0"},
        // The empty subject.
        {"^$", "", 0, "0,0"},
        {"a*$", "", 0, "0,0"},
        {"(a*)", "", 0, "0,0|0,0"},
        {"x", "", 0, "none"},
        {"\\b", "", 0, "none"},
        {"^", "", 0, "0,0"},
        // A search from the end of a non-empty subject finds nothing, so a
        // loop that steps past an empty match there ends.
        {"$", "ab", 2, "none"},
        {"$", "ab", 1, "2,2"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(run_match(c.pattern, "", c.subject, c.from), c.expect)
            << "/" << c.pattern << "/ on '" << c.subject << "' from " << c.from;
}

TEST_F(RegexMatch, CapturesBeyondSixteenBits) {
    std::string subject(70000, 'x');
    subject += "ab";
    EXPECT_EQ(run_match("(a)(b)", "", subject.c_str()), "70000,70002|70000,70001|70001,70002");
    EXPECT_EQ(run_match("(a)\\1|b", "", subject.c_str()), "70001,70002|-");
}

TEST_F(RegexMatch, SubjectConversion) {
    // A character beyond the plane is two units; the text comes back whole.
    std::u16string units = regex_subject("a\xF0\x9F\x98\x80" "b", 0);
    ASSERT_EQ(units.size(), 4u);
    Value re = regexp_create("b", "", RaiseAs::Runtime);
    Captures c;
    ASSERT_TRUE(regex_exec(re, units, 0, c));
    EXPECT_EQ(c.start, 3u);
    std::string back;
    units_to_utf8(units.data(), units.size(), back);
    EXPECT_EQ(back, "a\xF0\x9F\x98\x80" "b");
    EXPECT_EQ(regex_subject("abC\xC3\xA4", regex::kFlagIgnoreCase), u"ABC\u00E4");
}

// The conversions both ways at their edges: bytes that are no character
// are one U+FFFD each, a NUL ends the subject, and units that pair with
// nothing come back as three bytes of their own.
TEST_F(RegexMatch, SubjectConversionEdges) {
    struct In {
        std::string utf8;
        std::u16string units;
    } ins[] = {
        {"a\x80" "b", u"a\uFFFDb"},
        {"\xE3\x81", u"\uFFFD\uFFFD"},
        {std::string("x\0y", 3), u"x"},
        {"\xC3\xA4\xE3\x81\x82z", u"\u00E4\u3042z"},
        {"\xF8!", u"\uFFFD!"},
        {"\xF4\x90\x80\x80.", u"\uFFFD."},
        {"\xF0\x9F\x98\x80\xF0\x9F\x98", u"\xD83D\xDE00\uFFFD\uFFFD\uFFFD"},
        {"", u""},
        // Past the first eight bytes, which are taken eight at a time.
        {std::string("abcdefgh\0ij", 11), u"abcdefgh"},
        {std::string("abcdefg\0ijklmnop", 16), u"abcdefg"},
        {"abcdefghi\xC3\xA4jklmnopq\x80", u"abcdefghi\u00E4jklmnopq\uFFFD"},
    };
    for (const In& c : ins) EXPECT_EQ(regex_subject(c.utf8, 0), c.units) << c.utf8;

    struct Out {
        std::u16string units;
        std::string utf8;
    } outs[] = {
        {u"\xD800", "\xED\xA0\x80"},
        {u"\xDC00\xD800", "\xED\xB0\x80\xED\xA0\x80"},
        {u"\xD83D\xDE00", "\xF0\x9F\x98\x80"},
        {u"\xD83Dx", "\xED\xA0\xBDx"},
        {u"A\u07FF\u0800\uFFFF", "A\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
        {u"", ""},
        {u"abc\u00E4defgh\xD83D\xDE00ijkl\xD83D", "abc\xC3\xA4" "defgh\xF0\x9F\x98\x80ijkl\xED\xA0\xBD"},
    };
    for (const Out& c : outs) {
        std::string back = "p";  // what the text holds already stays in front
        units_to_utf8(c.units.data(), c.units.size(), back);
        std::string want = "p";
        want += c.utf8;
        EXPECT_EQ(back, want);
    }
}

// Pathological patterns end, either with a result or with the budget error,
// in well under the time a request can afford.
TEST_F(RegexMatch, BacktrackingIsBounded) {
    struct Case {
        const char* pattern;
        std::string subject;
    } cases[] = {
        {"(?:a*)*b", std::string(5000, 'a')},
        {"(?:a|a)*b", std::string(5000, 'a')},
        {"a+a+a+a+b", std::string(3000, 'a')},
        {"(?:\\w+\\s?)+$", std::string(3000, 'w') + "!"},
        {"(?=.*\\d).{8,}", std::string(4000, 'x')},
        {"(?<=a+)b", std::string(3000, 'a') + "c"},
        {".*.*.*=.*", std::string(4000, 'x')},
    };
    for (const Case& c : cases) {
        auto t0 = std::chrono::steady_clock::now();
        std::string r;
        try {
            r = run_match(c.pattern, "", c.subject.c_str());
        } catch (const Unwind& u) {
            ErrorView e = error_view(u.value);
            r = std::string(e.code, e.code_len);
            EXPECT_EQ(r, "4850") << c.pattern;
        }
        double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        EXPECT_LT(secs, 5.0) << c.pattern << " -> " << r;
    }
}

// Long chains of quantified nodes and deep group nesting stay within the
// nesting budget instead of exhausting the stack.
TEST_F(RegexMatch, DeepPatternsAreBounded) {
    std::string optional_chain;
    for (int k = 0; k < 3000; ++k) optional_chain += "a?";
    std::string nested = "a";
    for (int k = 0; k < 190; ++k) nested = "(?:" + nested + "b?)*";
    for (const std::string& p : {optional_chain, nested}) {
        std::string r;
        try {
            r = run_match(p.c_str(), "", std::string(50, 'a').c_str());
        } catch (const Unwind& u) {
            ErrorView e = error_view(u.value);
            r = std::string(e.code, e.code_len);
        }
        EXPECT_TRUE(r == "4850" || r.find(',') != std::string::npos) << r;
    }
    std::string short_chain;
    for (int k = 0; k < 100; ++k) short_chain += "a?";
    EXPECT_EQ(run_match(short_chain.c_str(), "", "aaa"), "0,3");
}

TEST_F(RegexMatch, BudgetErrorMessage) {
    std::string subject(3000, 'a');
    auto r = expect_raise([&] { run_match("a+a+a+a+b", "", subject.c_str()); });
    EXPECT_EQ(r.code, "4850");
    EXPECT_NE(r.message.find("正規表現の照合回数超過"), std::string::npos) << r.message;
}

}  // namespace
}  // namespace koru
