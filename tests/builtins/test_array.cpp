// Array and keyed-array methods, run in-process: each row is a script and
// the quoted display form of its global r.
#include "builtins/messages.h"

namespace koru::test {
namespace {

TEST_F(InterpTest, ArrayReadingMethods) {
    check_cases({
        {"var r = [1, 2].concat([3], [4, [5]]);", "[1,2,3,4,[5]]"},
        {"var k = []; k[3] = 'x'; var r = [0].concat(k);", "[0,\"x\"]"},
        {"var r = [7, 8, 9].keys();", "[0,1,2]"},
        {"var r = [].keys();", "[]"},
        {"var a = [1, 2, 3]; var b = a.reverse(); b[0] = 9; var r = a;", "[9,2,1]"},
        {"var r = [1, 2, 3].indexOf(2.0);", "1"},
        {"var r = [1.0, 2].indexOf(1);", "0"},
        {"var r = ['a', 'b'].indexOf('b', -1);", "1"},
        {"var r = [1, 2].indexOf(1, 5);", "-1"},
        {"var r = ['1', 1].indexOf(1);", "1"},
        {"var r = ['ab', 'a'].indexOf('a');", "1"},
        {"var r = [1, 2, 1, 2].lastIndexOf(2);", "3"},
        {"var r = [1, 2, 1, 2].lastIndexOf(2, 2);", "1"},
        {"var r = [1, 2, 1, 2].lastIndexOf(2, -3);", "1"},
        {"var r = [1, 2].lastIndexOf(1, 99);", "0"},
        {"var r = [].lastIndexOf(1);", "-1"},
        {"var r = [[1, 2, 3].includes(3), [1, 2, 3].includes(1, 1), [null].includes(null)];", "[true,false,false]"},
        {"var r = ['a', 1, 2.5, [true]].join();", "\"a,1,2.5,[true]\""},
        {"var r = [1, 2].join(' - ');", "\"1 - 2\""},
        {"var r = [].join('x');", "\"\""},
        {"var r = ['a', [1, 'b'], {k: 'v'}].toString();", "\"[\"a\",[1,\"b\"],{'k':\"v\"}]\""},
        {"var r = [].toString();", "\"[]\""},
    });
}

// A long run of pushes keeps the recorded capacity of each growth at the new
// count + 10 (10, 21, 32, ... 3002 for 3000 elements), so index appends past
// it turn a large array into a keyed array just as they do a small one.
TEST_F(InterpTest, LargeArraysKeepTheRecordedCapacity) {
    const std::string pushes = "var a = []; for (var i = 0; i < 3000; i++) a.push(i); ";
    Outcome o = run_script(pushes + "var c = a.length;");
    ASSERT_FALSE(o.error) << o.message;
    int64_t slot = global_find(static_cast<uint32_t>(symbol_lookup("a", 1)));
    ASSERT_GE(slot, 0);
    Value a = g_globals.slots[slot].value;
    ASSERT_EQ(a.kind(), Kind::Array);
    EXPECT_EQ(cell_as<ArrayCell>(a)->capacity, 3002u);

    fresh_process();
    o = run_script(pushes + "a[a.length] = 'x'; var r = [a.length, a[3000]];");
    ASSERT_FALSE(o.error) << o.message;
    EXPECT_EQ(global_kind("a"), Kind::Array);
    EXPECT_EQ(global_text("r"), "[3001,\"x\"]");

    fresh_process();
    o = run_script(pushes + "a[a.length] = 'x'; a[a.length] = 'y';");
    ASSERT_FALSE(o.error) << o.message;
    EXPECT_EQ(global_kind("a"), Kind::KeyedArray);
}

TEST_F(InterpTest, ArrayMethodsAtTheEnds) {
    check_cases({
        {"var r = [[].pop(), [].shift()];", "[undefined,undefined]"},
        {"var a = [1, 2]; var r = [a.push(3, 4), a];", "[4,[1,2,3,4]]"},
        {"var a = [1, 2, 3]; var r = [a.pop(), a.shift(), a];", "[3,1,[2]]"},
        {"var a = [3]; var r = [a.unshift(1, 2), a];", "[3,[1,2,3]]"},
        {"var a = []; for (var i = 0; i < 2000; i++) a.push(i); var r = [a.length, a[1999], a.pop()];",
         "[2000,1999,1999]"},
        // A popped string lives on in the variable that takes it.
        {"var a = ['x' + 1]; var s = a.pop(); var r = [s, a];", "[\"x1\",[]]"},
    });
}

TEST_F(InterpTest, ArrayRangeMethods) {
    check_cases({
        {"var r = [1, 2, 3, 4].slice(1, 3);", "[2,3]"},
        {"var r = [1, 2, 3, 4].slice(-2);", "[3,4]"},
        {"var r = [1, 2, 3].slice(2, 1);", "[]"},
        {"var r = [1, 2, 3].slice(0, 99);", "[1,2,3]"},
        // One level deep: the outer copy holds a new inner array holding 1.
        {"var a = [[1], 2]; var b = a.slice(); b[0][0] = 5; var r = [a, b, a[0] === b[0]];", "[[[1],2],[[5],2],false]"},
        {"var a = [[[1]]]; var b = a.slice(); b[0][0][0] = 7; var r = a;", "[[[7]]]"},
        {"var r = [1, 2, 3, 4].fill(0, 1, 3);", "[1,0,0,4]"},
        {"var r = [1, 2, 3].fill('x');", "[\"x\",\"x\",\"x\"]"},
        {"var r = [1, 2, 3].fill(9, -1);", "[1,2,9]"},
        {"var r = [1, 2, 3, 4, 5].copyWithin(0, 3);", "[4,5,3,4,5]"},
        {"var r = [1, 2, 3, 4, 5].copyWithin(3);", "[1,2,3,1,2]"},
        {"var r = [1, 2, 3, 4, 5].copyWithin(1, 0, 2);", "[1,1,2,4,5]"},
        {"var a = [[1], 2]; a.copyWithin(1); a[1][0] = 3; var r = a;", "[[1],[3]]"},
    });
}

TEST_F(InterpTest, ArraySplice) {
    check_cases({
        {"var a = [1, 2, 3, 4]; var r = [a.splice(1), a];", "[[2,3,4],[1]]"},
        {"var a = [1, 2, 3, 4]; var r = [a.splice(-1), a];", "[[4],[1,2,3]]"},
        {"var a = [1, 2]; var r = [a.splice(5), a];", "[[],[1,2]]"},
        {"var a = [1, 2, 3, 4]; var r = [a.splice(1, 2), a];", "[undefined,[1,4]]"},
        {"var a = [1, 2, 3]; a.splice(1, 99); var r = a;", "[1]"},
        {"var a = [1, 2, 3]; a.splice(1, 0, 'x', 'y'); var r = a;", "[1,\"x\",\"y\",2,3]"},
        {"var a = [1, 2, 3]; a.splice(1, -5, 'x'); var r = a;", "[1,\"x\",2,3]"},
        {"var a = [1, 2, 3]; a.splice(0, 2, 'x'); var r = a;", "[\"x\",3]"},
        {"var a = [1, 2, 3]; a.splice(3, 0, 4); var r = a;", "[1,2,3,4]"},
        {"var a = []; for (var i = 0; i < 30; i++) a.push(i); a.splice(29, 1, 'a', 'b', 'c'); var r = a.slice(28);",
         "[28,\"a\",\"b\",\"c\"]"},
    });
}

TEST_F(InterpTest, ArraySort) {
    check_cases({
        {"var r = [10, 9, 1].sort();", "[1,10,9]"},
        {"var r = ['b', 'a', 'B', 2, 'a'].sort();", "[2,\"B\",\"a\",\"a\",\"b\"]"},
        {"var r = [].sort();", "[]"},
        {"var r = [3, 1, 2].sort(function(a, b) { return a - b; });", "[1,2,3]"},
        {"var r = [3, 1, 2].sort(function(a, b) { return b - a; });", "[3,2,1]"},
        {"var r = [3, 1, 2].sort(function(a, b) { return a < b ? -0.5 : 0.5; });", "[1,2,3]"},
        // Not a number: every pair counts as equal, the order stays.
        {"var r = [3, 1, 2].sort(function(a, b) { return 'x'; });", "[3,1,2]"},
        {"var r = [[2, 'b'], [1, 'a'], [2, 'c'], [1, 'd']].sort(function(p, q) { return p[0] - q[0]; });",
         "[[1,\"a\"],[1,\"d\"],[2,\"b\"],[2,\"c\"]]"},
        {"var a = [2, 1]; var b = a.sort(function(x, y) { return x - y; }); b.push(3); var r = a;", "[1,2,3]"},
        {"var n = 0; [5, 4, 3, 2, 1].sort(function(a, b) { n++; return a - b; }); var r = n > 0 && n <= 10;", "true"},
    });
}

// A comparator that returns an integer expression gives its number to the
// sort without a cell; whatever it returns otherwise (a Double, a product
// too large for the integer path, a text) is compared as before, and the
// Int arithmetic wraps as everywhere else.
TEST_F(InterpTest, SortComparatorsThatReturnNumbers) {
    check_cases({
        {"var r = [5, 1, 4, 2, 3].sort(function(a, b) { if (a < b) return -1; if (a > b) return 1; return 0; });",
         "[1,2,3,4,5]"},
        {"var r = [2000000000, -2000000000, 0, 7].sort(function(a, b) { return a - b; });",
         "[0,7,2000000000,-2000000000]"},
        {"var r = [1.5, 0.5, 1].sort(function(a, b) { return a - b; });", "[0.5,1,1.5]"},
        {"var r = [3, 1, 2].sort(function(a, b) { var d = a - b; return d * 100000 * 100000 * 100000; });", "[2,1,3]"},
        {"var r = [3, 1, 2].sort(function(a, b) { return (a - b) * 1e20; });", "[1,2,3]"},
        {"o = {w: -2}; var r = [3, 1, 2].sort(function(a, b) { return o.w * (a - b); });", "[3,2,1]"},
        {"var r = ['ccc', 'a', 'bb'].sort(function(a, b) { return a.length - b.length; });", "[\"a\",\"bb\",\"ccc\"]"},
        {"var r = [[2], [1]].sort(function(a, b) { return a[0] - b[0]; });", "[[1],[2]]"},
    });
    check_error_positions({
        {"var r = [1, 2].sort(function(a, b) {\n  return (a - b) / 0; });", 2330, ":2:13)"},
        {"var r = [1, 2].sort(function(a, b) {\n  if (a < b) return a % 0; return 1; });", 2330, ":2:23)"},
        {"var r = ['b', 'a'].sort(function(a, b) {\n  return a - b; });", 2305, ":2:12)"},
    });
}

// A comparator that throws part-way leaves every element in the array, and
// the try around the sort receives the thrown value.
TEST_F(InterpTest, SortComparatorThatThrowsKeepsEveryElement) {
    check_cases({
        {"var a = [9, 3, 7, 1, 8, 2, 6, 4, 5, 0, 11, 10]; var calls = 0; var caught;"
         "try { a.sort(function(x, y) { calls++; if (calls == 10) throw 'stop'; return x - y; }); }"
         "catch (e) { caught = e; }"
         "var seen = 0; for (var i = 0; i < a.length; i++) seen += a[i];"
         "var r = [caught, calls, a.length, seen];",
         "[\"stop\",10,12,66]"},
        {"var a = ['x', 'y', 'z']; var caught;"
         "try { a.sort(function(p, q) { return nofn(p); }); } catch (e) { caught = e.name; }"
         "var r = [caught, a];",
         "[\"2155\",[\"x\",\"y\",\"z\"]]"},
        // The comparator empties the array it sorts: the sort still ends
        // with every original element, each exactly once.
        {"var a = [3, 1, 2]; a.sort(function(p, q) { a.pop(); return p - q; }); var r = a;", "[1,2,3]"},
    });
}

TEST_F(InterpTest, KeyedArrayMethods) {
    check_cases({
        {"var k = []; k[2] = 'a'; k[7] = 'b'; var r = [k.push('c'), k];", "[3,[2:\"a\",7:\"b\",8:\"c\"]]"},
        {"var k = [1]; k[3] = 2; k['x'] = 3; k.push(4); var r = k;", "[0:1,3:2,x:3,4:4]"},
        {"var k = []; k[4] = 'a'; k[9] = 'b'; var r = [k.indexOf('b'), k.lastIndexOf('a'), k.indexOf('z')];", "[1,0,-1]"},
        {"var k = []; k[4] = 1; k[9] = 2; var r = [k.join('+'), k.toString(), k.keys()];", "[\"1+2\",\"[4:1,9:2]\",[0,1]]"},
        {"var k = []; k[4] = 1; k[9] = 2; var r = [k.pop(), k.shift(), k];", "[2,1,[]]"},
        {"var k = []; k[4] = 1; var r = [k.unshift('a'), k];", "[2,[5:\"a\",4:1]]"},
        {"var k = []; k[4] = 1; var r = k.concat([2]);", "[1,2]"},
    });
}

TEST_F(InterpTest, ArrayErrors) {
    check_messages({
        {"var r = [1].nosuch();", 2570, "Arrayのメソッド名不正"},
        {"var k = []; k[3] = 1; var r = k.nosuch();", 2552, "Arrayのメソッド名不正"},
        {"var k = []; k[3] = 1; var r = k.sort();", 2565, "Arrayのメソッド名不正"},
        {"var r = [1].pop(1);", 2575, "引数の個数不正"},
        {"var r = [1].push();", 2575, "引数の個数不正"},
        {"var r = [1].slice(1, 2, 3);", 2580, "引数の個数不正"},
        {"var k = []; k[3] = 1; var r = k.pop(1);", 2555, "引数の個数不正"},
        {"var k = []; k[3] = 1; var r = k.join(',', 1);", 2560, "引数の個数不正"},
        {"var r = [1].concat(2);", 2505, "Array.concatの引数不正"},
        {"var r = [1].slice('1');", 2500, "引数が整数ではありません"},
        {"var r = [1].fill(0, 1.5);", 2500, "引数が整数ではありません"},
        {"var r = [1].indexOf(null);", 2510, "Arrayの引数不正"},
        {"var r = [1].lastIndexOf([1]);", 2515, "Arrayの引数不正"},
        {"var r = [1].splice(0, '1');", 2530, "引数不正(非整数)"},
        {"var r = [1].splice(0, 0);", 2535, "引数不正(要素の削除・追加がない)"},
        {"var r = [1].splice(1, 1);", 2535, "引数不正(要素の削除・追加がない)"},
        {"var r = [1].sort(1);", 2545, "引数不正(非関数)"},
        {"var r = [1, 2].sort(function(a) { return 0; });", 2550, "引数の個数不正"},
        {"var r = [1, 2].sort(function(a, b) { });", 2540, "ソートでの比較結果不正"},
        {"var r = [1, 2].join(3);", 2525, "引数不正"},
    });
}

// Method names are found by whole name only: a part of an entry is an
// unknown name.
TEST_F(InterpTest, ArrayMethodNamesMatchWholeEntriesOnly) {
    check_errors({
        {"var r = [1, 2, 3].last(3);", 2570},            // the start of lastIndexOf
        {"var a = [1, 2]; a.pu(5); var r = a;", 2570},  // the start of push
    });
}

}  // namespace
}  // namespace koru::test
