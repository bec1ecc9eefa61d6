#include "fixture.h"
#include "interp/state.h"

namespace koru::test {
namespace {

TEST_F(InterpTest, LoopsAndSwitch) {
    check_cases({
        {"var r = 0; for (var i = 0; i < 5; i++) r += i;", "10"},
        {"var r = 0; var i = 0; while (i < 5) { i++; if (i == 3) continue; r += i; }", "12"},
        {"var r = 0; do { r++; } while (r < 3);", "3"},
        {"var r = 0; do { r++; if (r == 2) break; } while (r < 9);", "2"},
        {"var r = ''; for (var i = 0; i < 3; i++) { for (var j = 0; j < 3; j++) { if (j == 1) break; r += i; } }",
         "\"012\""},
        {"var r = ''; switch (2) { case 1: r += 'a'; case 2: r += 'b'; case 3: r += 'c'; }", "\"bc\""},
        {"var r = ''; switch (2) { case 1: r += 'a'; break; case 2: r += 'b'; break; case 3: r += 'c'; }", "\"b\""},
        {"var r = ''; switch (9) { case 1: r += 'a'; default: r += 'd'; case 3: r += 'c'; }", "\"dc\""},
        {"var r = ''; switch ('1') { case 1: r += 'num'; break; case '1': r += 'str'; }", "\"str\""},
        // continue in a switch goes to the loop; break leaves only the switch
        {"var r = ''; for (var i = 0; i < 3; i++) { switch (i) { case 1: continue; default: r += i; } r += '.'; }",
         "\"0.2.\""},
        {"var r = 0; for (var i = 0; i < 3; i++) { switch (i) { case 1: break; } r++; }", "3"},
    });
}

// A loop whose condition compares names and Int constants takes it apart
// once; every test still reads the names as they are then, and an operand
// that stops being an Int (or a name the body redeclares) is taken as the
// handlers take it.
TEST_F(InterpTest, LoopConditionsFollowTheirNames) {
    check_cases({
        {"var r = ''; for (var i = 0; i < 3; i = i + 0.5) r = r + i + ',';", "\"0,0.5,1.0,1.5,2.0,2.5,\""},
        {"var n = 4; var r = ''; while (0 < n) { r = r + n; n--; }", "\"4321\""},
        {"var r = ''; var lim = 2; for (var k = 0; k < lim; k++) { if (k == 1) lim = 4; r = r + k; }", "\"0123\""},
        {"var r = 0; do { r++; } while (r != 7);", "7"},
        {"var r = 0; do { r = r + 1; if (r == 3) r = 'x'; } while (r < 5);", "\"x\""},
        {"var r = ''; for (var j = 5; j >= 0; j = j - 2) r = r + j;", "\"531\""},
        {"var r = 0; eval('for (var q = 0; q < 4; q++) r = r + q;');", "6"},
        {"function f() { var r = 0; for (var i = 0; i < 3; i++) { eval('var i = 10'); r++; } return r; } var r = f();",
         "1"},
        {"var m = 2000000000; var r = 0; while (m > 1999999997) { m--; r++; }", "3"},
        {"var r = 0; var u; while (u < 3) r++;", "0"},
        // Members and lengths are read on every test as well.
        {"var a = [1, 2]; var r = 0; for (var i = 0; i < a.length; i++) { if (i == 1) a.push(9); r = r + a[i]; }",
         "12"},
        {"var o = {n: 3}; var r = ''; while (o.n > 0) { r = r + o.n; o.n--; }", "\"321\""},
        {"var s = 'abc'; var r = 0; for (var i = 0; i < s.length; i++) { if (i == 1) s = [1, 2, 3, 4, 5]; r++; }",
         "5"},
        {"var p = {n: 2}; var r = 0; while (p.n >= 1) { r++; if (r == 2) p.n = 0.5; }", "2"},
        {"var q = {n: 2}; var r = 0; while (q.zz < 1) r++;", "0"},
    });
    check_error_positions({
        {"var o = {n: 3}; var r = 0;\nwhile (o.n > 0) { r++; if (r == 2) o = 5; }", 2035, ":2:9)"},
    });
}

TEST_F(InterpTest, ForOfAndForIn) {
    check_cases({
        {"var r = 0; for (var x of [1, 2, 3]) r += x;", "6"},
        {"var r = []; var h = {a: 1, b: 2}; for (var k in h) r[r.length] = k;", "[\"a\",\"b\"]"},
        {"var r = []; for (var i in ['x', 'y', 'z']) r[r.length] = i;", "[0,1,2]"},
        {"var r = 0; for (let c of 'あい') r++;", "6"},
        {"var r = ''; for (const c of 'ab') r += c;", "\"ab\""},
        {"function f() { var s = 0; for (var x of [4, 5]) s += x; return s; } var r = f();", "9"},
        {"var r = 0; var a = [1, 2, 3]; for (let x of a) { if (x == 2) continue; r += x; }", "4"},
    });
    check_errors({
        {"for (let x of 5) {}", 2055},
        {"for (let x in 'abc') {}", 2057},
        {"function f(p) { for (var p of [1]) {} } f(1);", 2050},
    });
}

TEST_F(InterpTest, TryCatchFinally) {
    check_cases({
        {"var r; try { throw 'boom'; } catch (e) { r = e; }", "\"boom\""},
        {"var r = ''; try { r += 'a'; } finally { r += 'f'; }", "\"af\""},
        {"var r; try { var x = 1 / 0; } catch (e) { r = e.name; }", "\"2330\""},
        {"var r; try { throw new Exception('m', 42); } catch (e) { r = [e.name, e.message]; }", "[\"42\",\"m\"]"},
        // A return inside try runs the finally body, then returns the value.
        {"var log = ''; function f() { try { return 'v'; } finally { log += 'f'; } } var r = f() + log;", "\"vf\""},
        // A throw from a called function reaches the caller's try; the locals are released.
        {"function g() { let big = [1, 2, 3]; throw 'x'; } var r; try { g(); } catch (e) { r = e; }", "\"x\""},
        // A throw through a try without catch: finally runs, the value goes on to the outer try.
        {"var r = ''; try { try { throw 'in'; } finally { r += 'f'; } } catch (e) { r += e; }", "\"fin\""},
        // break out of a try inside a loop runs the finally body first.
        {"var r = ''; for (var i = 0; i < 3; i++) { try { if (i == 1) break; r += i; } finally { r += 'f'; } }",
         "\"0ff\""},
        {"var r = ''; for (var i = 0; i < 3; i++) { try { if (i == 1) continue; r += i; } finally { r += 'f'; } }",
         "\"0ff2f\""},
        // A return in finally wins over the return of the try body.
        {"function f() { try { return 1; } finally { return 2; } } var r = f();", "2"},
        {"var r = 0; try { r = 1; } catch (e) { r = 2; }", "1"},
        // A catch body runs outside its try: what it throws goes straight to
        // the outer try, and the inner finally body does not run.
        {"var r = ''; try { try { throw 'a'; } catch (e) { throw e + 'b'; } finally { r += 'f'; } } catch (e) { r += e; }",
         "\"ab\""},
        // A break out of a try goes on to the switch it would have left without the try.
        {"var r = 0; switch (1) { case 1: try { break; } finally { r = 1; } r = 2; }", "1"},
    });
}

TEST_F(InterpTest, JumpsWithoutTargets) {
    check_errors({
        {"break;", 2070},
        {"continue;", 2075},
        {"return 1;", 2080},
        {"function f() { break; } f();", 2070},
        // A break out of a try with no loop ends in 2060 once the finally body has run.
        {"var r = 0; try { break; } finally { r = 1; }", 2060},
        {"try { return; } finally { }", 2060},
    });
    // The finally body did run before 2060.
    fresh_process();
    Outcome o = run_script("var r = 0; try { break; } finally { r = 1; }");
    EXPECT_EQ(o.code, 2060);
    EXPECT_EQ(global_text("r"), "1");
}

TEST_F(InterpTest, BreakInAFunctionLeavesTheCallersLoop) {
    check_cases({
        // The caller's expression is abandoned: r never becomes the sum.
        {"function f(i) { if (i == 2) break; return i; } var r = 0; for (var i = 0; i < 5; i++) { r = r + f(i); }",
         "1"},
        {"function f() { continue; } var r = 0; for (var i = 0; i < 3; i++) { f(); r = 99; }", "0"},
        // Through a return statement of another function's body.
        {"function g(n) { if (n == 2) break; return n; } function f(n) { return g(n) * 10; }"
         " var r = []; for (var i = 0; i < 5; i++) { r.push(f(i)); }",
         "[0,10]"},
        {"function h(n) { if (n == 3) continue; return n; } function k(n) { return h(n) + 1; }"
         " var r = []; for (var j = 0; j < 5; j++) { r.push(k(j)); }",
         "[1,2,3,5]"},
    });
}

TEST_F(InterpTest, UncaughtThrowReachesTheDriver) {
    Outcome o = run_script("throw 'up';");
    EXPECT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown_text, "up");
    fresh_process();
    o = run_script("try { throw 'up'; } finally { var r = 1; }");
    EXPECT_TRUE(o.thrown);
    EXPECT_EQ(global_text("r"), "1");
}

TEST_F(InterpTest, ErrorsReachTryOnlyDuringTheTopCall) {
    Outcome o = run_script("var r = 0; try { r = 1 / 0; } catch (e) { r = 'caught'; }", false);
    EXPECT_TRUE(o.error);
    EXPECT_EQ(o.code, 2330);
    // A parse error raised by eval never reaches a try.
    fresh_process();
    o = run_script("var r = 0; try { eval('var = ;'); } catch (e) { r = 'caught'; }");
    EXPECT_TRUE(o.error);
    EXPECT_EQ(global_text("r"), "0");
}

TEST_F(InterpTest, ScopesAndDeclarations) {
    check_cases({
        {"function f() { g = 5; } f(); var r = g;", "5"},
        {"var r = 1; { let r = 2; } ", "1"},
        {"var r; { let x = 1; { let x = 2; r = x; } }", "2"},
        {"var r; function f(a, b) { return [a, b]; } r = f(1);", "[1,undefined]"},
        {"var n = 0; function f(a) { return a; } function side() { n++; return 1; } f(1, side()); var r = n;", "0"},
        {"function f(a, b = 2) { return a + b; } var r = [f(1), f(1, undefined), f(1, 5)];", "[3,3,6]"},
        {"var r = 0; function f() { var r = 5; return r; } f();", "0"},
        {"function fact(n) { if (n <= 1) return 1; return n * fact(n - 1); } var r = fact(10);", "3628800"},
    });
    check_errors({
        {"let x = 1;", 2045},
        {"var x = 5; x();", 2155},
    });
}

TEST_F(InterpTest, RunawayRecursionIsAnErrorNotACrash) {
    Outcome o = run_script("function f(n) { return f(n + 1) + 1; } var r = f(0);");
    EXPECT_EQ(o.code, 1400);
    EXPECT_EQ(g_interp.top(), 0u);
    // Depth below the limit is fine.
    fresh_process();
    o = run_script("function f(n) { if (n == 0) return 0; return f(n - 1) + 1; } var r = f(900);");
    EXPECT_FALSE(o.error) << o.message;
    EXPECT_EQ(global_text("r"), "900");
}

TEST_F(InterpTest, ErrorMessagesNameTheCallee) {
    Outcome o = run_script("var num = 5; num(1);");
    EXPECT_EQ(o.code, 2155);
    EXPECT_EQ(o.message, "関数不正(num), 2");
}

}  // namespace
}  // namespace koru::test
