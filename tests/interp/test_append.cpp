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

}  // namespace
}  // namespace koru::test
