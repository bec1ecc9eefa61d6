#include "fixture.h"

namespace koru::test {
namespace {

TEST_F(InterpTest, ArithmeticFollowsTheNumberModel) {
    check_cases({
        {"var r = 7 / 2;", "3"},
        {"var r = 7 / 2.0;", "3.5"},
        {"var r = -7 % 3;", "2"},
        {"var r = 7 % -3;", "-2"},
        {"var r = '3' * '4';", "12"},
        {"var r = '3.0' * 2;", "6.0"},
        {"var r = 2147483647 + 1;", "-2147483648"},
        {"var r = 2 ** 10;", "1024"},
        {"var r = 10 - 2 - 3;", "5"},
        {"var r = 10 - 2 + 3;", "5"},
        {"var r = 8 / 4 * 2;", "1"},
        {"var r = 0 - 7 / 2;", "-3"},
        {"var r = 3000000000.0 * 1; r = Integer(r);", "-1294967296"},
        {"var r = 1.5 * 2;", "3.0"},
    });
}

// A temporary number may take the result of the operation that consumes
// it; an operand that changes under its own operation, or that is the other
// operand as well, must still give the values it had when it was read, and
// the result must survive the numbers made after it.  The variables start
// from computed values, so that only they hold their cells.
TEST_F(InterpTest, ResultsNeverOverwriteALiveOperand) {
    check_cases({
        {"var i = 2 + 3; var r = i + (i++); var z = []; for (var q = 0; q < 600; q++) z.push(q * 2); r = r + ',' + i;", "\"10,6\""},
        {"var j = 2 + 3; var r = (j++) * (j++); var z = []; for (var q = 0; q < 600; q++) z.push(q * 2); r = r + ',' + j;", "\"30,7\""},
        {"var k = 4 + 5; var r = k - (k--); var z = []; for (var q = 0; q < 600; q++) z.push(q * 2); r = r + ',' + k;", "\"0,8\""},
        {"var k = 4 + 5; var r = (k--) - k; var z = []; for (var q = 0; q < 600; q++) z.push(q * 2); r = r + ',' + k;", "\"1,8\""},
        {"var a = 2; var r = (a * 3) + (a * 4) - (a % 5) * (a + 1);", "8"},
        {"var t = 7; var u = t * 1; var r = u + u + (u * 2);", "28"},
        {"var s = 0; for (var n = 0; n < 50; n++) { s = (s + n * 3 - (n % 7)) % 101; } var r = s;", "94"},
    });
}

// An increment whose value is not read may change the number in its cell,
// but only where the variable alone holds it.
TEST_F(InterpTest, UnreadIncrementsLeaveSharedNumbersAlone) {
    check_cases({
        {"var a = 5 * 1; var b = a; b++; var r = a + ',' + b;", "\"5,6\""},
        {"var a = 5 * 1; var b = a; --b; b--; ++b; var r = a + ',' + b;", "\"5,4\""},
        {"var a = [5 * 1]; var x = a[0]; x++; var r = a[0] + ',' + x;", "\"5,6\""},
        {"var i = 2 + 3; function f() { i++; return 0; } var r = i + f(); r = r + ',' + i;", "\"5,6\""},
        {"var n = 0; for (var i = 0; i < 5; i++) { n++; } var r = n + ',' + i;", "\"5,5\""},
        {"var h = []; for (var i = 0; i < 3; i++) { h.push(i); } var r = h.join('');", "\"012\""},
        {"var r = eval('var q = 2 + 3; q++'); r = r + ',' + q;", "\"5,6\""},
        {"var d = 1.5; d++; var r = d;", "2.5"},
    });
}

// Two Int operands take a shortcut past the double arithmetic; its results
// must be the ones the double arithmetic gives, at every edge.
TEST_F(InterpTest, IntegerPairsAgreeWithTheNumberModel) {
    check_cases({
        {"var a = -2147483647 - 1; var b = -1; var r = a / b;", "-2147483648"},
        {"var a = -2147483647 - 1; var b = -1; var r = a * b;", "-2147483648"},
        {"var a = -2147483647 - 1; var b = 1; var r = a - b;", "2147483647"},
        {"var a = 65536; var b = 65536; var r = a * b;", "0"},
        {"var a = 100000; var b = 100000; var r = a * b;", "1410065408"},
        // Beyond 2^53 the product is a rounded double before it wraps.
        {"var a = 2147483647; var b = 2147483647; var r = a * b;", "0"},
        {"var a = -7; var b = 2; var r = a / b;", "-3"},
        {"var a = 7; var b = -2; var r = a / b;", "-3"},
        {"var a = -7; var b = -3; var r = a % b;", "-1"},
        {"var a = -6; var b = 3; var r = a % b;", "0"},
        {"var a = 5; var b = -2147483647 - 1; var r = a % b;", "-2147483643"},
        {"var a = 2; var b = 3; var r = a ** b;", "8"},
    });
}

// Arithmetic on Ints is computed without cells where every operand is an
// Int constant, a name or a property holding an Int, or such an expression.
// Whatever is not refuses, and the ordinary evaluation must then give what
// it always gives: from the start, with the look-ups and side effects once.
TEST_F(InterpTest, IntegerExpressionsFallBackToTheNumberModel) {
    const std::string defs =
        "var calls = 0; function f(x) { calls++; return x; }\n"
        "var a = 6; var d = 0.5; var s = '4'; var t = 'ab'; var o = {p: 3, q: 'z', r: 2.5}; var arr = [1, 2, 3];\n";
    check_cases(defs, {
        {"var r = (a * 2) + t;", "\"12ab\""},
        {"var r = (a + 1) * d;", "3.5"},
        {"var r = (a - 1) * s;", "20"},
        {"var r = o.p * 2 + o.q;", "\"6z\""},
        {"var r = o.p * o.r;", "7.5"},
        {"var r = o.missing + 'x';", "\"undefinedx\""},
        {"var r = arr.length * 10 + t.length + o.length;", "35"},
        {"var r = a * 3 + f(a) - f(1); r = r + ',' + calls;", "\"23,2\""},
        {"var r = (a * 2) % (f(5) * 1); r = r + ',' + calls;", "\"2,1\""},
        {"var m = 2147483647; var r = (m * m) + 1;", "1"},
        {"var m = 2147483647; var r = m + 1 - 1 + m * 2;", "-2147483647"},
        {"var r = a; r = r * (r + 1) - (r % 4) / 2;", "41"},
        {"var r = 'x' + (zz1 + 'y') + (zz1 === undefined);", "\"xundefinedytrue\""},
        {"var b = a * 1; var r = b; b = b * 2 + (b = 1) * 0; r = r + ',' + b;", "\"6,12\""},
        {"var r = 0; for (var i = 0; i < arr.length; i++) r = r * 10 + arr[i];", "123"},
        {"var r = a < o.p * 3 && o.p + 1 >= 4 && arr.length * 2 != 5;", "true"},
    });
}

// A refused attempt leaves nothing behind that the ordinary evaluation would
// not: an error inside an expression reports the instruction the ordinary
// evaluation reached.
TEST_F(InterpTest, IntegerExpressionErrorsReportTheirInstruction) {
    check_error_positions({
        {"var a = 3; var b = 0;\nvar r = (a + 2) * (a / b);", 2330, ":2:22)"},
        {"var a = 3; var b = 0;\nvar r = (a % b) + 1;", 2330, ":2:12)"},
        {"var a = 3; var t = 'x';\nvar r = (a * 2) - (a * t);", 2305, ":2:22)"},
        {"var o = {p: 1};\nvar r = o.p + (o.zz + 1);", 2240, ":2:17)"},
        // A computed expression leaves the position of its last instruction.
        {"var a = 3; function g() { const k = 1;\nk = a + a * 2; } g();", 2320, ":2:11)"},
    });
}

// An integer expression is computed from what was learnt the first time it
// ran.  That must follow the code: code made by eval is freed after it runs
// and its cells are reused for the next text, and an expression whose
// operands stop being Ints must go on giving the number model's results.
TEST_F(InterpTest, IntegerExpressionsFollowTheirCode) {
    check_cases({
        {"var a = 3; var r = ''; for (var k = 0; k < 6; k++) r = r + eval('(a + ' + k + ') * 2') + ',';",
         "\"6,8,10,12,14,16,\""},
        {"var a = 3; var r = ''; for (var k = 0; k < 6; k++) r = r + eval('a * 2 < ' + k + ' + 5') + ',';",
         "\"false,false,true,true,true,true,\""},
        {"var a = 3; var r = ''; for (var k = 0; k < 4; k++) r = r + `${(a - k) * (k + 1)},`;", "\"3,4,3,0,\""},
        {"var r = 0; var x; for (var i = 0; i < 200; i++) { x = i % 3 == 0 ? 1.5 : i; r = r + (x * 2 + 1) % 7; }",
         "664.0"},
    });
}

// A statement that assigns an integer expression may put the number into the
// cell its place holds, but only where the place alone holds that cell.
TEST_F(InterpTest, AssignedNumbersChangeInPlaceOnlyWhenUnshared) {
    check_cases({
        {"var a = 5 * 1; var b = a; a = a * 2 + 1; var r = a + ',' + b;", "\"11,5\""},
        {"var o = {p: 5 * 1}; var b = o.p; o.p = o.p * 2; var r = o.p + ',' + b;", "\"10,5\""},
        {"var x = [5 * 1]; var b = x[0]; x[0] = x[0] + 1; var r = x[0] + ',' + b;", "\"6,5\""},
        {"function f(p) { p = p * 3; return p; } var q = 4 * 1; var r = f(q) + ',' + q;", "\"12,4\""},
        {"function g() { var t = 7; t = t * 2; return t; } var r = g() + g();", "28"},
        {"var c = 2 * 1; var l = [c]; c = c + 1; var r = l[0] + ',' + c;", "\"2,3\""},
        {"var k = 1 * 1; var o = {v: k}; k = k * 5; var r = o.v + ',' + k;", "\"1,5\""},
        {"var n = 3 * 1; var r = [1, 2]; r.push(n); n = n - 3; r = r.join('') + n;", "\"1230\""},
    });
}

// An integer expression assigned to a property of a name that holds a Hash
// goes into the pair the member handler finds or adds; any other target is
// evaluated the usual way and raises what it raises, where it raises it.
TEST_F(InterpTest, IntegerAssignmentsToProperties) {
    check_cases({
        {"var o = {a: 1}; o.a = o.a + 1; o.b = o.a * 3; o.a = o.b - o.a; var r = o;", "{'a':4,'b':6}"},
        {"var p = {}; p.n = 1; for (var i = 0; i < 5; i++) p.n = p.n * 2; var r = p;", "{'n':32}"},
        {"var q = {a: 2 * 1}; var keep = q.a; q.a = q.a + 5; var r = [q.a, keep];", "[7,2]"},
        {"function f() { var x = 1; const k = {a: 1}; k.a = x + 1; return k; } var r = f();", "{'a':2}"},
        {"var x = 1; var h = {a: 1}; h.length = x + 1; var r = h;", "{'a':1}"},
    });
    check_error_positions({
        {"var x = 1; var u;\nu.a = x + 2;", 2035, ":2:2)"},
        {"var x = 1; var a = [1];\na.x = x + 1;", 2035, ":2:2)"},
        {"var x = 1; var s = 'x';\ns.a = x + 1;", 2035, ":2:2)"},
        {"var x = 1;\nnope.a = x + 1;", 2035, ":2:5)"},
        {"var h = {a: 1};\nh.a = h.a + h.zz;", 2240, ":2:14)"},
        {"var h = {a: 1};\nh.b = h.a / 0;", 2330, ":2:8)"},
    });
}

TEST_F(InterpTest, AdditionKinds) {
    check_cases({
        {"var r = 1 + 'a';", "\"1a\""},
        {"var r = 1.5 + 'a';", "\"1.5a\""},
        {"var r = 'a' + 2.0;", "\"a2.0\""},
        {"var r = 'a' + null;", "\"anull\""},
        {"var r = null + null;", "\"nullnull\""},
        {"var r = undefined + 'x';", "\"undefinedx\""},
        {"var r = 1 + 2.5;", "3.5"},
        {"var r = 1 + 2 + 'x' + 1 + 2;", "\"3x12\""},
    });
}

TEST_F(InterpTest, ArithmeticErrors) {
    check_errors({
        {"var r = 5 / 0;", 2330},
        {"var r = 5.0 / 0;", 2330},
        {"var r = 5 % 0;", 2330},
        {"var r = '3x' * 2;", 2305},
        {"var r = [1] * 2;", 2310},
        {"var r = true + 1;", 2240},
        {"var r = [1] + 'a';", 2240},
    });
}

TEST_F(InterpTest, Comparisons) {
    check_cases({
        {"var r = '10' < 9;", "false"},
        {"var r = '10' > 9;", "true"},
        {"var r = ' 10\t' == 10;", "true"},
        {"var r = 'abc' < 1;", "false"},
        {"var r = 'abc' != 1;", "true"},
        {"var r = '' == 0;", "true"},
        {"var r = 'abc' < 'abd';", "true"},
        {"var r = null == null;", "true"},
        {"var r = undefined <= undefined;", "true"},
        {"var r = NaN == NaN;", "true"},
        {"var a = [1]; var b = [1]; var r = a == b;", "false"},
        {"var a = [1]; var r = a == a;", "true"},
        {"var r = 1 === 1.0;", "false"},
        {"var r = 1 == 1.0;", "true"},
        {"var r = 'a' === 'a';", "true"},
        {"var r = 2 !== 2;", "false"},
        {"var r = 1 < 2 && 2 < 3;", "true"},
        {"var r = 0 || '';", "false"},
        {"var r = 0 || 'x';", "true"},
        {"var r = !'';", "true"},
        {"var r = ![];", "true"},
        {"var r = 1 ? 'y' : 'n';", "\"y\""},
        {"var r = 0 ? 'y' : 0 ? 'm' : 'n';", "\"n\""},
    });
}

TEST_F(InterpTest, BitOperationsAndShifts) {
    check_cases({
        {"var r = 1 << 33;", "2"},
        {"var r = -1 >>> 28;", "15"},
        {"var r = -8 >> 1;", "-4"},
        {"var r = 5 >>> 0;", "5"},
        {"var r = 6 & 3;", "2"},
        {"var r = 6 | 3 | 8;", "15"},
        {"var r = 6 ^ 3;", "5"},
        {"var r = ~5;", "-6"},
        {"var x = 5; var r = ~x; r = [r, x];", "[-6,5]"},
    });
    check_errors({
        {"var r = 1.5 & 1;", 2257},
        {"var r = 1 & 1 & 'a';", 2260},
        {"var r = 'a' << 1;", 2265},
        {"var r = 1 << 'a';", 2270},
        {"var r = 1 << -1;", 2275},
        {"var r = ~1.5;", 2280},
    });
}

TEST_F(InterpTest, TypeofAndInstanceof) {
    check_cases({
        {"var r = [typeof undefined, typeof true, typeof null, typeof NaN, typeof 1, typeof 1.5, typeof 's'];",
         "[\"undefined\",\"boolean\",\"object\",\"symbol\",\"number\",\"number\",\"string\"]"},
        {"function f() {} var r = typeof f;", "\"function\""},
        {"function Foo() { this.x = 1; } var o = new Foo(); var r = [typeof o, o instanceof Foo, o instanceof Hash];",
         "[\"Foo\",true,true]"},
        {"var r = [1 instanceof Number, 's' instanceof String, [] instanceof Array, {} instanceof Object, 1 instanceof "
         "String];",
         "[true,true,true,true,false]"},
    });
}

TEST_F(InterpTest, AssignmentForms) {
    check_cases({
        {"var a = 1; var b = 2; a = b = 3; var r = [a, b];", "[3,3]"},
        {"var r = 5; r += 2;", "7"},
        {"var r = 5; r += 0.5;", "5.5"},
        {"var r = 'a'; r += 1;", "\"a1\""},
        {"var r = 1; r += 'a';", "\"1a\""},
        {"var r = 7; r -= 2; r *= 3; r /= 2;", "7"},
        {"var r = 7; r %= 4;", "3"},
        {"var r = 6; r &= 3; r |= 8; r ^= 1;", "11"},
        {"var r = 1; var x = r++; r = [r, x];", "[2,1]"},
        {"var r = 1; var x = ++r; r = [r, x];", "[2,2]"},
        {"var r = 1.5; r--;", "0.5"},
        {"var h = {}; h.a = 1; h.a += 2; var r = h.a;", "3"},
        {"var a = [1, 2]; a[0] += 5; var r = a;", "[6,2]"},
    });
    check_errors({
        {"function f() { const c = 1; c = 2; } f();", 2320},
        {"function f() { const c = 1; c += 2; } f();", 2245},
        {"function f() { const c = 1; c -= 2; } f();", 2315},
        {"function f() { const c = 1; c &= 2; } f();", 2290},
        {"function f() { const c = 1; c++; } f();", 2200},
        {"function f() { const c = 1; ++c; } f();", 2210},
        {"function f() { const c = 1; c--; } f();", 2220},
        {"function f() { const c = 1; --c; } f();", 2230},
        {"var x; x++;", 2205},
        {"var x = 'a'; ++x;", 2215},
        {"var x = [1]; x += 1;", 2255},
        {"var x = 1; x &= 1.5;", 2285},
        {"var x = 1.5; x &= 1;", 2295},
        {"var x = 1; x -= 'q';", 2305},
    });
}

}  // namespace
}  // namespace koru::test
