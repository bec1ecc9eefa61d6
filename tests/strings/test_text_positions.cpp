// The String position methods on texts long enough for their positions to
// be kept between calls: every answer must be the one a walk from the start
// gives, whatever order the positions are asked in, and an entry must never
// outlive its text (a freed cell reused for another text, a text extended).
#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "interp/fixture.h"
#include "strings/text_index.h"
#include "strings/utf8_chars.h"

namespace koru::test {
namespace {

using TextPositionsTest = InterpTest;

// The answers of the methods as a walk from the start gives them, written
// the way the script below joins its own.
struct Reference {
    std::string t;
    int64_t total;

    explicit Reference(std::string text) : t(std::move(text)), total(static_cast<int64_t>(char_count(t))) {}

    size_t off(int64_t n) const { return char_offset(t, static_cast<size_t>(n)); }
    int64_t clamp(int64_t v) const { return std::clamp<int64_t>(v, 0, total); }
    std::string range(int64_t a, int64_t b) const { return b <= a ? "" : t.substr(off(a), off(b) - off(a)); }
    std::string index_of(const std::string& n, int64_t i) const {
        size_t at = t.find(n, off(clamp(i)));
        return at == std::string::npos ? "-1" : std::to_string(char_index(t, at));
    }
    std::string last_index_of(const std::string& n, int64_t i) const {
        size_t limit = off(clamp(i));
        int64_t found = -1;
        for (size_t at = t.find(n); at != std::string::npos && at <= limit; at = t.find(n, at + n.size()))
            found = static_cast<int64_t>(at);
        return found < 0 ? "-1" : std::to_string(char_index(t, static_cast<size_t>(found)));
    }
    std::string slice(int64_t a, int64_t b) const {
        auto from_end = [this](int64_t v) { return v < 0 ? std::max<int64_t>(0, total + v) : std::min(v, total); };
        return range(from_end(a), from_end(b));
    }
    std::string substr(int64_t i, int64_t count) const {
        int64_t start = i < 0 ? std::max<int64_t>(0, total + i) : i;
        start = std::min(start, total);
        count = std::min(count, total - start);
        return count <= 0 ? "" : range(start, start + count);
    }
    static const char* flag(bool b) { return b ? "true" : "false"; }
    // Appends ",field" for each field.  (By appending: GCC 12 at -O3 takes a
    // literal put before a temporary string for an overlapping copy.)
    static void fields(std::string& r, std::initializer_list<std::string> items) {
        for (const std::string& f : items) {
            r += ',';
            r += f;
        }
    }

    std::string row(const std::string& n, int64_t i) const {
        std::string r = i < 0 || i >= total ? "" : range(i, i + 1);
        fields(r, {index_of(n, i), last_index_of(n, i)});
        int64_t a = clamp(i), b = clamp(i + 3);
        fields(r, {range(std::min(a, b), std::max(a, b)), slice(i, i + 2), substr(i, 2)});
        r += std::string(",") + flag(t.substr(off(clamp(i))).starts_with(n));
        r += std::string(",") + flag(t.substr(0, off(clamp(i))).ends_with(n));
        r += std::string(",") + flag(t.find(n, off(clamp(i))) != std::string::npos);
        if (i >= 0) fields(r, {i < total ? range(i, i + 1) : std::string("U")});
        return r;
    }
};

const char* kRowScript =
    "function row(s, n, i) {"
    "  var r = s.charAt(i) + ',' + s.indexOf(n, i) + ',' + s.lastIndexOf(n, i) + ',' + s.substring(i, i + 3)"
    "    + ',' + s.slice(i, i + 2) + ',' + s.substr(i, 2) + ',' + s.startsWith(n, i) + ',' + s.endsWith(n, i)"
    "    + ',' + s.includes(n, i);"
    "  if (i >= 0) { var c = s[i]; r = r + ',' + (c === undefined ? 'U' : c); }"
    "  return r;"
    "}";

std::string repeated(const std::string& piece, int times) {
    std::string s;
    for (int i = 0; i < times; ++i) s += piece;
    return s;
}

// Positions in an order that sends a kept position backwards, forwards by
// one, across the kept offsets and past both ends.
std::vector<int64_t> positions(int64_t total) {
    std::vector<int64_t> p = {0, 1, 2, 63, 64, 65, 127, 128, 129, total - 1, total, total + 1, -1, -2, -total, -total - 5};
    for (int64_t i = total; i >= 0; i -= 13) p.push_back(i);
    uint32_t x = 12345;
    for (int k = 0; k < 60; ++k) {
        x = x * 1103515245u + 12345u;
        p.push_back(static_cast<int64_t>(x >> 8) % (total + 20) - 10);
    }
    for (int64_t i = 200; i < 240 && i < total; ++i) p.push_back(i);
    return p;
}

struct TextCase {
    const char* name;
    std::string text;
    std::vector<std::string> needles;  // with and without a border (overlapping occurrences)
};

TEST_F(TextPositionsTest, AnswersMatchAWalkFromTheStartInAnyOrder) {
    const std::vector<TextCase> cases = {
        {"ascii", repeated("abcaab,c", 70) + "tail", {"c,", "aa", "ab", "tail", "zz"}},
        {"japanese", repeated("日本語の本本文。", 40), {"文。", "本本", "語", "ない"}},
        {"mixed", repeated("ab日本\xF0\x9F\x98\x80" "c本本aa", 30) + repeated("x", 70) + "終わり",
         {"\xF0\x9F\x98\x80", "本本", "aa", "c本", "終わり"}},
        {"ascii then japanese", repeated("q", 300) + repeated("日本", 100), {"本", "日本日", "qq"}},
    };
    for (const TextCase& c : cases) {
        Reference ref(c.text);
        std::vector<int64_t> ps = positions(ref.total);
        for (const std::string& needle : c.needles) {
            std::string script = std::string(kRowScript) + "var s = '" + c.text + "'; var n = '" + needle +
                                 "'; var out = []; var ps = [";
            std::string expected;
            for (size_t k = 0; k < ps.size(); ++k) {
                if (k) script += ',', expected += '|';
                script += std::to_string(ps[k]);
                expected += ref.row(needle, ps[k]);
            }
            script += "]; for (var k = 0; k < ps.length; k++) out.push(row(s, n, ps[k])); var r = out.join('|');";
            fresh_process();
            Outcome o = run_script(script);
            ASSERT_FALSE(o.error) << c.name << ": " << o.message;
            EXPECT_EQ(global_text("r"), "\"" + expected + "\"") << c.name << " needle " << needle;
        }
    }
}

TEST_F(TextPositionsTest, CharacterCodesAndArgumentsThatAreNotIntegers) {
    std::string jp = repeated("日本語", 100);  // 300 characters
    std::string pre = "var s = '" + jp + "';";
    check_cases(pre, {
        {"var r = [s.charCodeAt(0), s.charCodeAt(299), s.charCodeAt(300), s.charCodeAt(-1)];", "[26085,35486,NaN,NaN]"},
        {"var r = [s.charCodeAt(150), s.charCodeAt(149), s.charCodeAt(1)];", "[26085,35486,26412]"},
        {"var r = [s.charAt('7'), s.charAt(), s.charAt(null), s.charAt(1.5)];", "[\"日\",\"日\",\"日\",\"日\"]"},
        {"var r = [s.includes('語', 298.7), s.includes('語', 1e10), s.startsWith('本', 1.9)];", "[true,false,true]"},
        {"var r = [s.endsWith('本', 2), s.endsWith('語', 'x'), s.endsWith('日', -4)];", "[true,true,false]"},
        {"var r = [s.substring(-5, 2), s.substring(301, 298), s.substr(-2), s.slice(-1, 300)];",
         "[\"日本\",\"本語\",\"本語\",\"語\"]"},
        {"var r = [s.padStart(301, '-').substring(0, 2), s.padStart(300, '-') === s];", "[\"-日\",true]"},
        {"var r = [s.indexOf('語', 298), s.indexOf('語', 299), s.indexOf('語', 300), s.lastIndexOf('日', 2),"
         " s.lastIndexOf('日', 1000)];",
         "[299,299,-1,0,297]"},
    });
    check_errors({
        {("var s = '" + jp + "'; var r = s.indexOf('語', 1.5);").c_str(), 2700},
        {("var s = '" + jp + "'; var r = s.lastIndexOf('語', '3');").c_str(), 2705},
        {("var s = '" + jp + "'; var r = s.slice(0, 2.5);").c_str(), 2710},
        {("var s = '" + jp + "'; var r = s.includes('語', NaN);").c_str(), 2780},
    });
}

// Two texts of the same byte length, one after the other in the same cell
// and text block: what was kept of the first must not answer for the second.
TEST_F(TextPositionsTest, AFreedCellReusedForAnotherTextStartsAfresh) {
    struct Probe {
        size_t n;             // character asked for
        size_t first_offset;  // its byte offset in each text
        size_t second_offset;
    };
    const std::string first = repeated("abc", 100) + "日本語", second = repeated("本", 100) + "日本語";
    ASSERT_EQ(first.size(), second.size());
    const std::vector<Probe> probes = {{150, 150, 309}, {101, 101, 303}, {300, 300, 309}, {2, 2, 6}};
    for (const Probe& p : probes) {
        fresh_process();
        enter_run_phase();
        Value a = value_retain(make_string(first));
        AreaAddr a_text = cell_as<StringCell>(a)->text;
        {
            TextPositions pos(a);
            EXPECT_EQ(pos.chars(), 303u);
            EXPECT_EQ(pos.offset(p.n), p.first_offset);
            EXPECT_EQ(pos.index(p.first_offset), p.n);
        }
        value_release(a);
        Value b = value_retain(make_string(second));
        ASSERT_EQ(b.bits, a.bits) << "the second text must reuse the first one's cell";
        ASSERT_EQ(cell_as<StringCell>(b)->text, a_text) << "and its text block";
        TextPositions pos(b);
        EXPECT_EQ(pos.chars(), 103u) << p.n;
        EXPECT_EQ(pos.offset(p.n), p.second_offset) << p.n;
        EXPECT_EQ(pos.index(300), 100u) << p.n;
        value_release(b);
    }
}

}  // namespace
}  // namespace koru::test
