// replace, replaceAll, search, match, matchAll and split with patterns and
// text separators, the replacement templates and their errors.
#include "interp/fixture.h"

namespace koru::test {
namespace {

using PatternMethods = InterpTest;

TEST_F(PatternMethods, Replace) {
    check_cases({
        {"var r = 'aaa'.replace('a', 'b');", "\"baa\""},
        {"var r = 'a.a'.replace('.', '$1');", "\"a$1a\""},
        {"var r = 'abc'.replace('x', 'y');", "\"abc\""},
        {"var r = 'aaa'.replace(/a/g, 'b');", "\"baa\""},
        {"var r = 'aaa'.replaceAll(/a/g, 'b');", "\"bbb\""},
        {"var r = 'a-b-c'.replaceAll('-', '+');", "\"a+b+c\""},
        {"var r = 'aaaa'.replaceAll('aa', 'b');", "\"bb\""},
        {"var r = 'ab'.replaceAll('', '.');", "\".a.b.\""},
        {"var r = '2024-05'.replace(/(\\d+)-(\\d+)/, '$2/$1');", "\"05/2024\""},
        {"var r = 'ab'.replace(/(a)/, '[$&$`$\\'$$]');", "\"[$&$`$'$$]b\""},
        {"var r = 'ab'.replace(/(a)/, '\\\\$1');", "\"\\$1b\""},
        {"var r = 'ab'.replace(/(?<x>a)/, '<$<x>>');", "\"<a>b\""},
        {"var r = 'ab'.replace(/(?<x>a)/, '$<y>|$<x');", "\"$<y>|$<xb\""},
        {"var r = 'ab'.replace(/a/, '$1');", "\"$1b\""},  // no groups: taken literally
        {"var r = 'abc'.replace(/x*/, 'y');", "\"abc\""},
        {"var r = 'ABC'.replace(/b/i, 'x');", "\"AxC\""},
        {"var r = 'aBc'.replace(/(b)/i, '[$1]');", "\"a[B]c\""},
        {"var r = 'a1b22'.replaceAll(/\\d+/g, '#');", "\"a#b#\""},
        {"var r = 'abc'.replaceAll(/x*/g, '-');", "\"abc\""},
        {"var r = '日本語'.replace(/本/, 'x');", "\"日x語\""},
        {"var r = 'a(b)'.replace('(b)', '[$1]');", "\"a[$1]\""},
    });
}

TEST_F(PatternMethods, SearchAndMatch) {
    check_cases({
        {"var r = 'abc'.search('c');", "2"},
        {"var r = 'abc'.search(/x*/);", "-1"},
        {"var r = 'abc'.search(/z/);", "-1"},
        {"var r = 'a1'.search(1);", "1"},
        {"var r = 'a.c'.search('.');", "0"},  // a string is compiled as a pattern
        {"var re = /b/g; re.lastIndex = 2; var r = ['abc'.search(re), re.lastIndex];", "[1,2]"},
        {"var r = 'aXbX'.match(/x/gi);", "[\"X\",\"X\"]"},
        {"var r = 'axbx'.match(/X/gi);", "[\"x\",\"x\"]"},
        {"var r = 'abc'.match(/z/);", "null"},
        {"var r = 'abc'.match(/z/g);", "null"},
        {"var r = 'abc'.match();", "[\"\"]"},
        {"var r = 'ab'.match(/x*/g);", "[\"\",\"\"]"},
        {"var r = 'abc'.match(/x*/);", "null"},
        {"var m = 'xaby'.match('a(b)'); var r = [m[0], m[1], m.index, m.input];", "[\"ab\",\"b\",1,\"xaby\"]"},
        {"var r = 'a1x'.matchAll(/(\\d)|(x)/g);", "[[\"1\",\"1\",undefined],[\"x\",undefined,\"x\"]]"},
        {"var r = 'abc'.matchAll(/z/g);", "[]"},
        {"var r = 'a.a'.matchAll('a');", "[[\"a\"],[\"a\"]]"},
    });
}

TEST_F(PatternMethods, Split) {
    check_cases({
        {"var r = 'a,b,,c'.split(',');", "[\"a\",\"b\",\"\",\"c\"]"},
        {"var r = 'a,b,c'.split(',', 2);", "[\"a\",\"b\"]"},
        {"var r = 'a,b,c'.split(',', 0);", "[]"},
        {"var r = 'a,b'.split(',', -1);", "[]"},
        {"var r = 'a,b'.split(';');", "[\"a,b\"]"},
        {"var r = 'a,b'.split();", "[\"a,b\"]"},
        {"var r = 'a1b1c'.split(1);", "[\"a\",\"b\",\"c\"]"},
        {"var r = '日本語'.split('');", "[\"日\",\"本\",\"語\"]"},
        {"var r = 'abc'.split('', 2);", "[\"a\",\"b\"]"},
        {"var r = 'a1b2c'.split(/(\\d)/);", "[\"a\",\"1\",\"b\",\"2\",\"c\"]"},
        {"var r = 'a1b2c'.split(/\\d/, 2);", "[\"a\",\"b\"]"},
        {"var r = 'a1b2c'.split(/(\\d)/, 2);", "[\"a\",\"1\"]"},
        {"var r = 'a, b ,c'.split(/\\s*,\\s*/);", "[\"a\",\"b\",\"c\"]"},
        {"var r = ',a,'.split(/,/);", "[\"\",\"a\",\"\"]"},
        {"var r = 'abc'.split(/x*/);", "[\"abc\"]"},
        {"var r = 'aXbxc'.split(/x/i);", "[\"a\",\"b\",\"c\"]"},
    });
}

// The empty receiver is matched like any other text.
TEST_F(PatternMethods, EmptyReceiver) {
    check_cases({
        {"var r = ''.split(',');", "[\"\"]"},
        {"var r = ''.split(',', 0);", "[]"},
        {"var r = ''.split();", "[\"\"]"},
        {"var r = ''.split(/,/);", "[\"\"]"},
        {"var r = ''.split(/(?:x)*/);", "[\"\"]"},
        {"var r = ''.replace(/a/, 'b');", "\"\""},
        {"var r = ''.replace(/^/, 'b');", "\"\""},  // an empty match is never replaced
        {"var r = ''.replace('a', 'b');", "\"\""},
        {"var r = ''.replaceAll(/a/g, 'b');", "\"\""},
        {"var r = ''.replaceAll('a', 'b');", "\"\""},
        {"var r = ''.search(/a/);", "-1"},
        {"var r = ''.search(/a*/);", "-1"},
        {"var r = ''.match(/a/);", "null"},
        {"var r = ''.match(/a/g);", "null"},
        {"var r = ''.match(/a*/g);", "[\"\"]"},
        {"var r = ''.matchAll(/a/g);", "[]"},
    });
}

// Under flag i matching compares upper-cased units, but every text of a
// result is the subject's own, as written.
TEST_F(PatternMethods, IgnoreCaseKeepsTheWrittenText) {
    check_cases({
        {"var m = 'Name: Bob'.match(/name: (\\w+)/i); var r = [m[0], m[1], m.index];",
         "[\"Name: Bob\",\"Bob\",0]"},
        {"var r = 'xAbC'.match(/abc/i)[0];", "\"AbC\""},
        {"var r = 'aXbxc'.match(/x/gi);", "[\"X\",\"x\"]"},
        {"var r = 'Ab aB'.matchAll(/(a)(b)/gi);", "[[\"Ab\",\"A\",\"b\"],[\"aB\",\"a\",\"B\"]]"},
        {"var m = 'Key=Val'.match(/(?<k>\\w+)=(?<v>\\w+)/i); var r = m.groups;", "{'k':\"Key\",'v':\"Val\"}"},
        {"var r = 'Hello World'.replace(/(o) (w)/i, '[$2$1]');", "\"Hell[Wo]orld\""},
        {"var r = 'aXb'.replaceAll(/(x)/gi, '<$1>');", "\"a<X>b\""},
        {"var r = '1x2X3'.split(/(x)/i);", "[\"1\",\"x\",\"2\",\"X\",\"3\"]"},
        {"var r = 'Straße'.match(/STRA/i)[0];", "\"Stra\""},
    });
}

TEST_F(PatternMethods, Errors) {
    check_errors({
        {"'aaa'.replaceAll(/a/, 'b');", 2732},
        {"'2024-05'.replace(/(\\d+)-(\\d+)/, '$3');", 2717},
        {"'ab'.replace(/(a)/, '$0');", 2717},
        {"'ab'.replace(/(a)/, '$<' + 'n'.repeat(201) + '>');", 2718},
        {"'ab'.replace(/(a)/, '$1'.repeat(256));", 2716},
        {"'ab'.replace(/a/, 1);", 2720},
        {"'ab'.replace(1, 'x');", 2725},
        {"'ab'.replaceAll(/a/g, 1);", 2730},
        {"'ab'.replaceAll(1, 'x');", 2735},
        {"'ab'.split(',', '1');", 2740},
        {"'ab'.matchAll(/a/);", 2745},
        {"'\xF0\x9F\x98\x80'.matchAll(/[^a]/g);", 2750},
        // A text that is not empty but gives no units (a NUL byte first).
        {"String.fromCharCode(0).replace(/a/, 'b');", 4800},
        {"String.fromCharCode(0).replace('a', 'b');", 4800},
        {"String.fromCharCode(0).split(',');", 4800},
        {"String.fromCharCode(0).search('a');", 4800},
        {"String.fromCharCode(0).match(/a/);", 4800},
        {"'a'.search('(');", 4640},
    });
    // 255 substitutions are allowed
    check_cases({{"var r = 'ab'.replace(/(a)/, '$1'.repeat(255)).length;", "256"}});
}

}  // namespace
}  // namespace koru::test
