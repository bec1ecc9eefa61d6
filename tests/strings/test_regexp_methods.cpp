// RegExp values from scripts: creation, properties, lastIndex as a place,
// exec/test/toString and the match-result hash.
#include "interp/fixture.h"

namespace koru::test {
namespace {

using RegExpMethods = InterpTest;

TEST_F(RegExpMethods, Properties) {
    check_cases({
        {"var r = /a/.flags;", "null"},
        {"var r = /a/gim.flags;", "\"img\""},
        {"var r = /a/sy.flags;", "\"ys\""},
        {"var r = /a/gi.toString();", "\"/a/ig\""},
        {"var r = /a/s.dotAll;", "true"},
        {"var r = /a/.global;", "false"},
        {"var r = /a/i.ignoreCase;", "true"},
        {"var r = /a/m.multiline;", "true"},
        {"var r = /a/y.sticky;", "true"},
        {"var r = /a/.unicode;", "true"},
        {"var r = /a[b-d]+\\d/.source;", "\"a[bcd]+\\d\""},
        {"var r = RegExp('x+', 'g').toString();", "\"/x+/g\""},
        {"var r = new RegExp('x').toString();", "\"/x/\""},
        {"var p = 'a.c'; var r = RegExp(p).test('abc');", "true"},
    });
}

TEST_F(RegExpMethods, ExecResult) {
    check_cases({
        {"var m = /abc/i.exec('xAbC'); var r = [m[0], m.index];", "[\"AbC\",1]"},
        {"var m = /(\\d+)-(\\d+)/.exec('on 2024-05'); var r = [m[0], m[1], m[2], m['length'], m.index];",
         "[\"2024-05\",\"2024\",\"05\",3,3]"},
        {"var m = /(\\d+)-(\\d+)/.exec('on 2024-05'); var r = m['0'] + m['2'];", "\"2024-0505\""},
        {"var m = /(\\d+)-(\\d+)/.exec('on 2024-05'); var r = m.indices;", "[[3,10],[3,7],[8,10]]"},
        {"var m = /b/.exec('abc'); var r = [m.input, m.groups];", "[\"abc\",undefined]"},
        {"var m = /(?<year>\\d+)-(?<mon>\\d+)/.exec('2024-05'); var r = m.groups;",
         "{'year':\"2024\",'mon':\"05\"}"},
        {"var m = /(?<year>\\d+)/.exec('x9'); var r = m.groups.year;", "\"9\""},
        {"var m = /a*/.exec('b'); var r = [m[0], m.index];", "[\"\",0]"},
        {"var r = /x/.exec('abc');", "null"},
        {"var m = /a|(b)/.exec('a'); var r = [m[1], m.indices[1]];", "[undefined,undefined]"},
        {"var m = /b/.exec('\xF0\x9F\x98\x80" "b'); var r = m.index;", "2"},
        // m.length is the pair count, the stored entry is m['length']
        {"var m = /(a)/.exec('a'); var r = [m.length, m['length']];", "[7,2]"},
    });
}

TEST_F(RegExpMethods, LastIndex) {
    check_cases({
        {"var re = /a/g; var s = 'aXa'; var a = re.exec(s).index; var b = re.exec(s).index; var c = re.exec(s);"
         " var r = [a, b, c, re.lastIndex];",
         "[0,2,null,0]"},
        {"var re = /a/g; re.exec('aa'); var r = re.lastIndex;", "1"},
        {"var re = /a/; re.exec('ba'); var r = re.lastIndex;", "0"},
        {"var re = /a/g; re.lastIndex = 2; var r = re.exec('aaXa').index;", "3"},
        {"var re = /a/g; re.lastIndex = 5; re.lastIndex += 1; var r = re.lastIndex;", "6"},
        {"var re = /a/g; re.lastIndex = 1; re.lastIndex++; var r = re.lastIndex;", "2"},
        {"var re = /a/g; re.lastIndex = 1.9; var r = re.lastIndex;", "1"},
        {"var re = /a/g; re.lastIndex = 'x'; var r = re.lastIndex;", "0"},
        {"var re = /a/y; var r = [re.test('ba'), re.lastIndex];", "[false,0]"},
        {"var re = /a/y; re.lastIndex = 1; var r = [re.test('ba'), re.lastIndex];", "[true,2]"},
        {"var re = /a/g; re.test('aa'); var r = re.lastIndex;", "1"},
        {"var re = /a*/g; var r = [re.test('b'), re.lastIndex];", "[false,0]"},
        {"var r = /a*/.test('b');", "false"},
        {"var r = /^b/m.test('a\\nb');", "true"},
    });
}

// The empty subject is matched like any other: test counts only a match
// that is not empty, exec reports the empty match it finds.
TEST_F(RegExpMethods, EmptySubject) {
    check_cases({
        {"var r = /x/.test('');", "false"},
        {"var r = /x/.exec('');", "null"},
        {"var r = /^$/.test('');", "false"},
        {"var m = /^$/.exec(''); var r = [m[0], m.index, m.input];", "[\"\",0,\"\"]"},
        {"var m = /(a*)$/.exec(''); var r = [m[0], m[1], m.indices];", "[\"\",\"\",[[0,0],[0,0]]]"},
        {"var re = /a*/g; var m = re.exec(''); var r = [m.index, re.lastIndex];", "[0,0]"},
        {"var re = /x/g; re.lastIndex = 3; var r = [re.exec(''), re.lastIndex];", "[null,0]"},
    });
}

// Flag i: matching compares upper-cased units; the texts of the result are
// the subject's as written, and source and toString give the pattern as
// written.
TEST_F(RegExpMethods, IgnoreCaseKeepsTheWrittenText) {
    check_cases({
        {"var m = /name: (\\w+)/i.exec('Name: Bob'); var r = [m[0], m[1]];", "[\"Name: Bob\",\"Bob\"]"},
        {"var m = /(?<w>b+)/i.exec('aBbB'); var r = [m.groups.w, m.indices];", "[\"BbB\",[[1,4],[1,4]]]"},
        {"var m = /é(x)/i.exec('aéX'); var r = [m[0], m[1], m.index];", "[\"éX\",\"X\",1]"},
        {"var r = [/Name/i.test('NAME'), /Name/i.test('nAmE'), /Name/i.test('Nome')];", "[true,true,false]"},
        {"var r = /Name: (\\w+)/i.source;", "\"Name: (\\w+)\""},
        {"var r = /AbC[D-F]x/gi.toString();", "\"/AbC[DEF]x/ig\""},
        {"var r = /abc/i.source;", "\"abc\""},
        {"var r = RegExp('Ab|cd|(?:eF)+', 'i').source;", "\"Ab|cd|(?:eF)+\""},
        {"var r = /a(?=B)c(?<!D)e/i.source;", "\"a(?=B)c(?<!D)e\""},
        {"var r = /[^Q]X+/i.source;", "\"[^Q]X+\""},
        {"var r = /[^Q]X+/i.test('qx');", "false"},
    });
}

TEST_F(RegExpMethods, Errors) {
    check_errors({
        {"/a/.exec(String.fromCharCode(0));", 4800},
        {"/a/.test(String.fromCharCode(0) + 'a');", 4800},
        {"/a/.exec(5);", 5042},
        {"/a/.test(5);", 5045},
        {"/a/.test();", 5075},
        {"/a/.toString(1);", 5075},
        {"/a/.foo();", 5070},
        {"var x = /a/.foo;", 5080},
        {"RegExp('a', 'q');", 4795},
        {"RegExp(1);", 5085},
        {"RegExp('a', 1);", 5090},
        {"new RegExp(1);", 5085},
        {"RegExp('');", 4800},
        {"RegExp('(a');", 4640},
        {"RegExp('a{0,2}');", 4755},
    });
}

// A pattern error in a literal is an error of the module's compilation:
// nothing of the module runs.
TEST_F(RegExpMethods, LiteralPatternErrorIsAParseError) {
    Outcome o = run_script("var before = 1; var x = /a{5,2}/;");
    EXPECT_TRUE(o.error);
    EXPECT_EQ(o.code, 4765);
    EXPECT_EQ(global_kind("before"), Kind::None4);
    fresh_process();
    o = run_script("var x = /a/q;");
    EXPECT_EQ(o.code, 4795);
    // The same pattern through RegExp(...) is a run-time error after the
    // statements before it ran.
    fresh_process();
    o = run_script("var before = 1; var x = RegExp('a{5,2}');");
    EXPECT_EQ(o.code, 4765);
    EXPECT_EQ(global_text("before"), "1");
}

// An Int index on a hash names the property of its decimal text.
TEST_F(RegExpMethods, IntIndexOnHash) {
    check_cases({
        {"var h = {}; h[0] = 'a'; h[12] = 'b'; var r = [h['0'], h[12], h.length];", "[\"a\",\"b\",2]"},
        {"var h = {}; h['7'] = 'x'; var r = h[7];", "\"x\""},
        {"var h = {}; var r = h[3];", "undefined"},
        {"var h = {}; var u = h[3]; var r = h.length;", "0"},
        {"var h = {n: 1}; h[0] = 5; h[0] += 1; var r = h;", "{'n':1,'0':6}"},
    });
    check_errors({{"var h = {}; h[-1] = 1;", 2025}, {"var x = 5; x[0] = 1;", 2030}});
}

}  // namespace
}  // namespace koru::test
