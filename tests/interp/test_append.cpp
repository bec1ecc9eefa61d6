// `s = s + t` on a String only its name holds extends that String's own
// block: the results must be those of a fresh String every time, and a
// String that something else also holds must never change under it.
#include "fixture.h"

namespace koru::test {
namespace {

TEST_F(InterpTest, AppendingToANamedStringKeepsEveryOtherHolderUnchanged) {
    check_cases({
        // Past several block sizes, the text whole and in order.
        {"var s = ''; for (var i = 0; i < 300; i++) { var d = i % 10; s = s + d; }"
         " var r = [s.length, s.substring(0, 12), s.substring(290, 300), s.indexOf('90'), s.lastIndexOf('01')];",
         "[300,\"012345678901\",\"0123456789\",9,290]"},
        {"function f() { var s = ''; for (var i = 0; i < 50; i++) s = s + i; return s; } var r = f().length;", "90"},
        // Held by a second name, an array, a hash: those keep the old text.
        {"var s = 'ab'.repeat(2); var t = s; s = s + 'c'; var r = [s, t];", "[\"ababc\",\"abab\"]"},
        {"var s = 'x'.repeat(3); var a = [s]; s = s + 'y'; var r = [s, a[0]];", "[\"xxxy\",\"xxx\"]"},
        {"var s = 'x'.repeat(3); var h = {k: s}; s = s + 'y'; s = s + 'z'; var r = [s, h.k];", "[\"xxxyz\",\"xxx\"]"},
        // The text added is the String itself.
        {"var s = 'ab'.repeat(2); s = s + s; s = s + s; var r = s;", "\"abababababababab\""},
        // Numbers and other names as the added operand.
        {"var s = 'a'.repeat(2); var n = 5; var m = -7; s = s + n; s = s + m; s = s + 12; var r = s;", "\"aa5-712\""},
        {"var s = 'a'.repeat(2); var t = 'b'.repeat(3); s = s + t; s = s + t; var r = [s, t];",
         "[\"aabbbbbb\",\"bbb\"]"},
        // A literal's text is shared by every evaluation: it never grows.
        {"function f() { var s = 'lit'; s = s + '!'; return s; } var a = f(); var r = [a, f()];",
         "[\"lit!\",\"lit!\"]"},
        // Positions asked before an append answer for the new text after it.
        {"var s = '日本'.repeat(150); var a = s.indexOf('本', 150); s = s + '語';"
         " var r = [a, s.indexOf('語'), s.charAt(300), s.lastIndexOf('本'), s[300], s.substring(298).length];",
         "[151,300,\"語\",299,\"語\",9]"},
        {"var s = 'q'.repeat(300); var a = s.charCodeAt(299); s = s + '日'; var r = [a, s.charCodeAt(300), s.length];",
         "[113,26085,303]"},
        // The value of an assignment that is read is a String of its own.
        {"var s = 'ab'.repeat(2); var t = (s = s + 'c'); s = s + 'd'; var r = [s, t];", "[\"ababcd\",\"ababc\"]"},
    });
    check_errors({
        {"function f() { const s = 'ab'.repeat(2); s = s + 'c'; return s; } var r = f();", 2320},
        {"var s = 'ab'.repeat(2); var a = [1]; s = s + a;", 2240},
    });
}

// `s += t` extends the String in place on the same terms as `s = s + t`; what
// it may not take (another holder, the String itself, a member or element
// target, a Double, a template, an expression) gives the ordinary results.
TEST_F(InterpTest, AddAssignToANamedStringKeepsEveryOtherHolderUnchanged) {
    check_cases({
        // Many appends: the whole text, its length and both ends.
        {"var s = ''; for (var i = 0; i < 40000; i++) s += 'ab';"
         " var r = [s.length, s.substring(0, 5), s.substring(79995), s.indexOf('ba', 79990), s.lastIndexOf('aa')];",
         "[80000,\"ababa\",\"babab\",79991,-1]"},
        {"var s = ''; for (var i = 0; i < 300; i++) { var d = i % 10; s += d; }"
         " var r = [s.length, s.substring(0, 12), s.substring(290, 300), s.indexOf('90'), s.lastIndexOf('01')];",
         "[300,\"012345678901\",\"0123456789\",9,290]"},
        {"function f() { var s = ''; for (var i = 0; i < 50; i++) s += i; return s; } var r = f().length;", "90"},
        // The update of a for is an unread statement as well.
        {"var s = 'a'.repeat(2); for (var i = 0; i < 3; s += 'z') i++; var r = s;", "\"aazzz\""},
        // Held by a second name, an array, a hash, an argument: those keep the old text.
        {"var s = 'ab'.repeat(2); var t = s; s += 'c'; var r = [s, t];", "[\"ababc\",\"abab\"]"},
        {"var s = 'x'.repeat(3); var a = [s]; s += 'y'; var r = [s, a[0]];", "[\"xxxy\",\"xxx\"]"},
        {"var s = 'x'.repeat(3); var h = {k: s}; s += 'y'; s += 'z'; var r = [s, h.k];", "[\"xxxyz\",\"xxx\"]"},
        {"function g(x) { x += 'b'; x += 'c'; return x; } var s = 'a'.repeat(2); var r = [g(s), s];",
         "[\"aabc\",\"aa\"]"},
        // Code called while an operation still holds the old String appends
        // to it: what the operation read stays as it was read.
        {"var s = 'a'.repeat(3); function h() { s += 'b'; return 1; }"
         " var r = [[s, h(), s], s + h() + s, {k: s, n: h(), m: s}, s];",
         "[[\"aaa\",1,\"aaab\"],\"aaab1aaabb\",{'k':\"aaabb\",'n':1,'m':\"aaabbb\"},\"aaabbb\"]"},
        // Once the other holder lets go, the String grows in place again.
        {"var s = 'ab'.repeat(2); var t = s; s += 'c'; t = 0; s += 'd'; var u = s; s += 'e'; var r = [s, u, t];",
         "[\"ababcde\",\"ababcd\",0]"},
        // The text added is the String itself.
        {"var s = 'ab'.repeat(2); s += s; s += s; var r = s;", "\"abababababababab\""},
        // Names and literals of each kind as the added operand.
        {"var s = 'a'.repeat(2); var n = 5; var m = -7; s += n; s += m; s += 12; s += -2147483647 - 1; var r = s;",
         "\"aa5-712-2147483648\""},
        {"var s = 'a'.repeat(2); var t = 'b'.repeat(3); s += t; s += t; var r = [s, t];", "[\"aabbbbbb\",\"bbb\"]"},
        {"var s = 'a'.repeat(2); var d = 2.5; s += d; s += 0.25; var r = s;", "\"aa2.50.25\""},
        {"var s = 'a'.repeat(2); var e = ''; s += e; s += ''; var r = [s, s.length];", "[\"aa\",2]"},
        {"var s = 'a'.repeat(2); var n = 4; s += `<${n}>`; s += n + 1; s += 'x' + n; var r = s;", "\"aa<4>5x4\""},
        // A name that holds no String takes the ordinary sum.
        {"var s = 3; s += 'a'; s += 'b'; var r = s;", "\"3ab\""},
        {"var s = 1.5; s += 'a'; var r = s;", "\"1.5a\""},
        {"var s = 3; s += 4; var r = s;", "7"},
        // A literal's text is shared by every evaluation: it never grows.
        {"function f() { var s = 'lit'; s += '!'; return s; } var a = f(); var r = [a, f()];",
         "[\"lit!\",\"lit!\"]"},
        // A member or an element target: the old text stays with its other holders.
        {"var o = {s: 'ab'.repeat(2)}; var keep = o.s; o.s += 'c'; o.s += 'd'; var r = [o.s, keep];",
         "[\"ababcd\",\"abab\"]"},
        {"var a = ['x'.repeat(2), 'y']; var k = a[0]; var i = 0; a[i] += 'z'; a[1] += a[0]; var r = [a, k];",
         "[[\"xxz\",\"yxxz\"],\"xx\"]"},
        // Positions asked before an append answer for the new text after it.
        {"var s = '日本'.repeat(150); var a = s.indexOf('本', 150); s += '語';"
         " var r = [a, s.indexOf('語'), s.charAt(300), s.lastIndexOf('本'), s[300], s.substring(298).length];",
         "[151,300,\"語\",299,\"語\",9]"},
        // The value of a += that is read is a String of its own.
        {"var s = 'ab'.repeat(2); var t = (s += 'c'); s += 'd'; var r = [s, t];", "[\"ababcd\",\"ababc\"]"},
        {"var s = 'ab'.repeat(2); var a = [s += 'c']; s += 'd'; var r = [s, a];", "[\"ababcd\",[\"ababc\"]]"},
    });
}

// The errors of `s += t` are the ordinary ones, at the statement's position,
// whichever path the statement would have taken.
TEST_F(InterpTest, AddAssignErrorsAreTheOrdinaryOnes) {
    check_error_positions({
        {"function f() { const s = 'ab'.repeat(2);\n  s += 'c'; return s; } var r = f();", 2245, ":2:5)"},
        {"function f() { const s = 'ab'.repeat(2); var t = 'x';\n  s += t; return s; } var r = f();", 2245, ":2:5)"},
        {"var s = 'ab'.repeat(2); var a = [1];\ns += a;", 2255, ":2:3)"},
        {"var s = 'ab'.repeat(2); var b = true;\ns += b;", 2255, ":2:3)"},
        {"var s = [1];\ns += 'a';", 2255, ":2:3)"},
        {"var s;\ns += 'a';", 2255, ":2:3)"},
        {"var s = 'ab'.repeat(2);\ns += nowhere;", 2255, ":2:3)"},
    });
}

}  // namespace
}  // namespace koru::test
