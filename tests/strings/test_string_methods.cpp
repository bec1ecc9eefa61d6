// The string-method table run from scripts: positions by characters, every
// method's edge cases and argument errors.
#include "interp/fixture.h"

namespace koru::test {
namespace {

using StringMethods = InterpTest;

TEST_F(StringMethods, PositionsCountCharacters) {
    check_cases({
        {"var r = '日本語'.charAt(1);", "\"本\""},
        {"var r = 'abc'.charAt(-1);", "\"\""},
        {"var r = 'abc'.charAt(3);", "\"\""},
        {"var r = 'abc'.charAt('1');", "\"a\""},
        {"var r = 'abc'.charAt();", "\"a\""},
        {"var r = 'a\xF0\x9F\x98\x80" "b'.indexOf('b');", "2"},
        {"var r = 'a\xF0\x9F\x98\x80" "b'.charAt(1);", "\"\xF0\x9F\x98\x80\""},
        {"var r = 'abc'.charCodeAt(1);", "98"},
        {"var r = '日'.charCodeAt(0);", "26085"},
        {"var r = 'abc'.charCodeAt(5);", "NaN"},
    });
}

TEST_F(StringMethods, Searching) {
    check_cases({
        {"var r = 'aaa'.lastIndexOf('aa');", "0"},
        {"var r = 'abcabc'.lastIndexOf('c');", "5"},
        {"var r = 'abcabc'.lastIndexOf('c', 4);", "2"},
        {"var r = 'abcabc'.lastIndexOf('x');", "-1"},
        {"var r = 'abc'.lastIndexOf('', 9);", "3"},
        {"var r = 'abc'.indexOf('', 2);", "2"},
        {"var r = 'abc'.indexOf('c', 9);", "-1"},
        {"var r = 'abcabc'.indexOf('b', 2);", "4"},
        {"var r = 'a12'.indexOf(12);", "1"},
        {"var r = '日本語'.indexOf('語', -5);", "2"},
        {"var r = 'abc'.includes('bc');", "true"},
        {"var r = 'abc'.includes('a', 1);", "false"},
        {"var r = 'abc'.includes('', 7);", "true"},
        {"var r = 'abc'.includes('a', -3);", "true"},
        {"var r = 'abc'.startsWith('bc', 1.7);", "true"},
        {"var r = 'abc'.startsWith('abcd');", "false"},
        {"var r = '日本語'.endsWith('語');", "true"},
        {"var r = 'abc'.endsWith('ab', 2);", "true"},
        {"var r = 'abc'.endsWith('abcd');", "false"},
        {"var r = 'abc'.endsWith('c', -1);", "false"},
    });
}

TEST_F(StringMethods, Pieces) {
    check_cases({
        {"var r = 'abc'.substr(-2);", "\"bc\""},
        {"var r = 'abc'.substr(1, 'x');", "\"\""},
        {"var r = 'abc'.substr(1, 1);", "\"b\""},
        {"var r = 'abc'.substr(-9, 2);", "\"ab\""},
        {"var r = 'abc'.substr(5);", "\"\""},
        {"var r = 'abc'.substr(0, -1);", "\"\""},
        {"var r = 'abc'.substring(2, 0);", "\"ab\""},
        {"var r = 'abc'.substring(-3, 99);", "\"abc\""},
        {"var r = 'abc'.substring(1);", "\"bc\""},
        {"var r = 'abc'.slice(-2);", "\"bc\""},
        {"var r = 'abcdef'.slice(1, -2);", "\"bcd\""},
        {"var r = 'abc'.slice(2, 1);", "\"\""},
        {"var r = '日本語'.slice(1, 2);", "\"本\""},
    });
}

TEST_F(StringMethods, BuildingText) {
    check_cases({
        {"var r = 'a'.concat(1, 'b', null, [1, 'x']);", "\"a1bnull[1,\"x\"]\""},
        {"var r = 'aZ\xC3\xA4'.toUpperCase();", "\"AZ\xC3\xA4\""},
        {"var r = 'aZ\xC3\x84'.toLowerCase();", "\"az\xC3\x84\""},
        {"var r = 'ab'.padStart(5, 'xy');", "\"xyxab\""},
        {"var r = 'ab'.padEnd(5, 'xy');", "\"abxyx\""},
        {"var r = 'abc'.padEnd(2);", "\"abc\""},
        {"var r = 'ab'.padEnd(4);", "\"ab  \""},
        {"var r = 'ab'.padStart(4, '');", "\"  ab\""},
        {"var r = '語'.padStart(3, '日本語');", "\"日本語\""},
        // Pads shorter and longer than what is missing, whole copies and a
        // part, multi-byte characters on either side of the cut.
        {"var r = 'ab'.padStart(4, '日本語'.repeat(100000));", "\"日本ab\""},
        {"var r = 'ab'.padEnd(9, '日本語');", "\"ab日本語日本語日\""},
        {"var r = 'x'.padStart(4, '日本語');", "\"日本語x\""},
        {"var r = 'abc'.padStart(10, '0123456789abcdef');", "\"0123456abc\""},
        {"var r = 'ab'.padStart(12, '\xC3\xA9" "1234567');", "\"\xC3\xA9" "1234567\xC3\xA9" "1ab\""},
        {"var big = '日本語'.repeat(100000); var r = ['q'.padEnd(300001, big).length,"
         " 'q'.padEnd(300002, big).substring(299999)];",
         "[900001,\"本語日\"]"},
        {"var r = 'ab'.repeat(0);", "\"\""},
        {"var r = 'ab'.repeat(2.9);", "\"abab\""},
        {"var r = ' \\t a b \\r\\n'.trim();", "\"a b\""},
        {"var r = '  a  '.trimStart();", "\"a  \""},
        {"var r = '  a  '.trimLeft();", "\"a  \""},
        {"var r = '  a  '.trimEnd();", "\"  a\""},
        {"var r = '  a  '.trimRight();", "\"  a\""},
    });
}

// The trim methods never change the receiver: a literal stays as written
// however often the same code runs.
TEST_F(StringMethods, TrimLeavesTheReceiver) {
    check_cases({
        {"var r = ''; for (var i = 0; i < 2; i++) { var s = '  x  '; r = r + '[' + s.trim() + '|' + s + ']'; }",
         "\"[x|  x  ][x|  x  ]\""},
        {"var s = ' y '; var t = s.trimEnd(); var r = s + t + s.length;", "\" y  y3\""},
    });
}

// `match` and `matchAll` reach the slots named str_match and str_matchAll;
// a fragment of a name reaches nothing.
TEST_F(StringMethods, NamesResolveByWholeName) {
    check_cases({
        {"var r = 'abc'.match(/b/)[0];", "\"b\""},
        {"var r = 'abc'.str_match(/b/)[0];", "\"b\""},
        {"var r = 'abc'.matchAll(/b/g).length;", "1"},
    });
    check_errors({
        {"var r = 'abc'.Upper();", 2820},  // a fragment of toUpperCase
        {"var r = 'abc'.atch(/b/);", 2820},
    });
}

TEST_F(StringMethods, Errors) {
    check_errors({
        {"'abc'.foo();", 2820},
        {"'abc'.indexOf();", 2825},
        {"'abc'.indexOf('a', 1, 2);", 2830},
        {"'abc'.trim(1);", 2825},
        {"'abc'.replace('a');", 2825},
        {"'abc'.indexOf('a', '1');", 2700},
        {"'abc'.lastIndexOf('a', 1.5);", 2705},
        {"'abc'.slice('1');", 2715},
        {"'abc'.slice(1, '2');", 2710},
        {"'abc'.includes(1);", 2785},
        {"'abc'.includes('a', '1');", 2780},
        {"'abc'.localeCompare('b');", 2787},
        {"'abc'.padEnd('5');", 2760},
        {"'abc'.padEnd(5, 1);", 2765},
        {"'abc'.padStart('5');", 2770},
        {"'abc'.padStart(5, 1);", 2775},
        {"'ab'.repeat('2');", 2795},
        {"'ab'.repeat(-1);", 2800},
        {"'ab'.repeat(2000000000);", 1400},
        {"'abc'.startsWith('a', 'x');", 2805},
        {"'abc'.startsWith(1);", 2810},
        {"'abc'.endsWith(1);", 2815},
        {"'\xF0\x9F\x98\x80'.charCodeAt(0);", 1595},
    });
}

TEST_F(StringMethods, ErrorMessages) {
    Outcome o = run_script("'abc'.slice('1');");
    EXPECT_EQ(o.message, "引数不正(非整数)");
    fresh_process();
    o = run_script("'abc'.localeCompare('b');");
    EXPECT_EQ(o.message, "関数 localeCompare は実装されていません。");
    fresh_process();
    o = run_script("'abc'.foo();");
    EXPECT_EQ(o.message, "Stringのメソッド名不正");
}

}  // namespace
}  // namespace koru::test
