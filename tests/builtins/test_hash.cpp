// Hash methods, Object.keys and the String static functions.
#include "builtins/messages.h"

namespace koru::test {
namespace {

TEST_F(InterpTest, HashMethods) {
    check_cases({
        {"var h = {}; h.set('a', 1); h.set('a', 2); var r = [h.get('a'), h.keys()];", "[2,[\"a\"]]"},
        {"var h = {a: 1}; var r = [h.delete('x'), h.get('x'), h.has('a'), h.has('b')];", "[false,undefined,true,false]"},
        {"var h = {a: 1, b: 2, c: 3}; var r = [h.delete('b'), h, h.keys()];", "[true,{'a':1,'c':3},[\"a\",\"c\"]]"},
        {"var r = [{}.toString(), {a: 'x', b: [1]}.toString()];", "[\"{}\",\"{a:\"x\",b:[1]}\"]"},
        {"var h = {a: 1}; var v = h.clear(); var r = [v, h, h.keys()];", "[undefined,{},[]]"},
        {"var h = {}; var r = [h.set('k', [1]), h.k];", "[[1],[1]]"},
        {"var h = {}; for (var i = 0; i < 30; i++) h.set('k' + i, i); var r = [h.get('k29'), h.keys().length];",
         "[29,30]"},
        // A property holding a function wins over the built-in of that name.
        {"var h = {get: function(k) { return 'own ' + k; }}; var r = h.get('a');", "\"own a\""},
    });
}

TEST_F(InterpTest, HashForEach) {
    check_cases({
        {"var h = {a: 1, b: 2}; var out = []; var v = h.forEach(function(val, key, obj) { out.push(key + '=' + val); });"
         "var r = [v, out];",
         "[undefined,[\"a=1\",\"b=2\"]]"},
        {"var h = {a: 1}; var seen; h.forEach(function(v, k, o) { seen = o; }); var r = seen === h;", "true"},
        // Deleting the pairs part-way ends the walk without reading past them.
        {"var h = {a: 1, b: 2, c: 3}; var n = 0; h.forEach(function(v, k, o) { n++; o.clear(); }); var r = n;", "1"},
        {"var h = {a: 1, b: 2}; var n = 0; h.forEach(function(v, k, o) { n++; return 5; }); var r = n;", "2"},
    });
}

TEST_F(InterpTest, ObjectKeysAndStringStatics) {
    check_cases({
        {"var r = [Object.keys([5, 6]), Object.keys({x: 1, y: 2}), Object.keys([])];", "[[0,1],[\"x\",\"y\"],[]]"},
        {"var k = []; k[3] = 1; k['n'] = 2; var r = Object.keys(k);", "[3,\"n\"]"},
        {"var r = String.fromCharCode(72, 105);", "\"Hi\""},
        {"var r = String.fromCharCode(0xD83D, 0xDE00).length;", "6"},
        {"var r = [String.fromCharCode(0xE9), String.fromCodePoint(0x1F600), String.fromCodePoint(0).length];",
         "[\"é\",\"😀\",1]"},
    });
}

TEST_F(InterpTest, HashObjectStringErrors) {
    check_messages({
        {"var h = {}; var r = h.nosuch();", 2347, "HASHのメソッド名不正"},
        {"var h = {}; var r = h.keys(1);", 2450, "引数の個数不正"},
        {"var h = {}; var r = h.set('a');", 2450, "引数の個数不正"},
        {"var h = {}; var r = h.get(1);", 2425, "HASHのキー不正"},
        {"var h = {}; var r = h.forEach(function(a, b) { });", 2430, "引数の個数不正"},
        {"var h = {}; var r = h.forEach(5);", 2430, "引数の個数不正"},
        {"var h = {}; var r = h.forEach(function(a, b, c = 1) { });", 2445, "引数の個数不正"},
        {"var r = Object.keys(5);", 2420, "Object.keysの引数不正"},
        {"var r = Object.values({});", 2100, "OBJECTのメソッド名不正"},
        {"var r = Object.keys();", 2105, "引数の個数不正"},
        {"var r = String.raw('a');", 2095, "STRINGのメソッド名不正"},
        {"var r = String.fromCharCode();", 2097, "引数の個数不正"},
        {"var r = String.fromCharCode(1.5);", 2400, "String.fromCharCodeの引数不正(非整数)"},
        {"var r = String.fromCharCode(65536);", 2405, "String.fromCharCodeの引数不正(UTF16の範囲外)"},
        {"var r = String.fromCharCode(-1);", 2405, "String.fromCharCodeの引数不正(UTF16の範囲外)"},
        {"var r = String.fromCodePoint('a');", 2410, "String.fromCharCodeの引数不正(非整数)"},
        {"var r = String.fromCodePoint(0x110000);", 2415, "String.fromCharCodeの引数不正(ユニコードの範囲外)"},
    });
}

}  // namespace
}  // namespace koru::test
