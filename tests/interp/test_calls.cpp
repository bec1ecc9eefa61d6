// Script function calls: parameters and arguments, the body's scope, the
// frame a call leaves behind, and what hooks and error reports see of it.
#include <algorithm>

#include "fixture.h"
#include "interp/evaluate.h"
#include "interp/opcodes.h"
#include "interp/state.h"

namespace koru::test {
namespace {

TEST_F(InterpTest, ParametersTakeTheirArgumentsAndDefaults) {
    check_cases({
        // Ten parameters: more than the call keeps in place.
        {"function f(a, b, c, d, e, g, h, i, j, k) { return [a, b, c, d, e, g, h, i, j, k]; }"
         " var r = f(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11);",
         "[1,2,3,4,5,6,7,8,9,10]"},
        {"function f(a, b, c, d, e, g, h, i, j = 'j', k = j + 'k') { return [a, h, i, j, k]; }"
         " var r = f(1, 2, 3, 4, 5, 6, 7, 8);",
         "[1,7,8,\"j\",\"jk\"]"},
        {"function f(a, b, c, d, e, g, h, i, j) { return [i, j]; } var r = f(1, 2, 3, 4, 5, 6, 7, 8);",
         "[8,undefined]"},
        // A default sees the parameters before it.
        {"function f(a, b = a * 2) { return b; } var r = [f(4), f(4, 1)];", "[8,1]"},
        // Calls among the arguments leave the caller's frame as it was.
        {"function s(a, b, c) { return a + '-' + b + '-' + c; } var r = s(s(1, 2, 3), 'x', s('p', 'q'));",
         "\"1-2-3-x-p-q-undefined\""},
        {"function id(v) { return v; } function f(a, b) { var c = a + b; return [a, b, c, id(c) + id(a)]; }"
         " var r = f(id(1), id(2));",
         "[1,2,3,4]"},
        // The body's let names live above the parameters and locals.
        {"function f(a) { var v = 5; let b = a + v; { let a = 10; b = b + a; } return [a, b, v]; } var r = f(1);",
         "[1,16,5]"},
        {"function f(a) { let t = [a]; return t; } var r = [f(1), f(2)];", "[[1],[2]]"},
        // A let or const of the body beside a var of the same name is a slot
        // of its own: a for-of over the var does not reach it.
        {"function f() { var x; let x = 5; for (var x of [1, 2]) {} return x; } var r = f();", "5"},
        {"function f() { var x = 1; const x = 5; for (var x of [1, 2]) {} return x; } var r = f();", "5"},
        // A body of one statement, an empty body, and a body that falls off its end.
        {"function f() {} var r = f();", "undefined"},
        {"var n = 0; function f() { n++; } f(); f(); var r = n;", "2"},
        {"function f(a) { if (a) return 'y'; } var r = [f(1), f(0)];", "[\"y\",undefined]"},
        // Constructors: the this hash, or what the body returns.
        {"function P(x) { this.x = x; } var p = new P(3); var r = [p.x, typeof p];", "[3,\"P\"]"},
        {"function P(x) { this.x = x; return [x]; } var r = new P(3);", "[3]"},
        {"function P(x) { this.x = x; return; } var r = new P(3).x;", "3"},
        // More than 256 jump contexts at once (a loop and a call a level).
        {"function f(n) { for (var i = 0; i < 1; i++) { if (n > 0) return f(n - 1) + 1; } return 0; }"
         " var r = f(300);",
         "300"},
        {"function f(n) { while (true) { if (n == 0) throw 'deep'; return f(n - 1); } }"
         " var r = ''; try { f(300); } catch (e) { r = e; } for (var i = 0; i < 3; i++) { if (i == 1) break; r += i; }",
         "\"deep0\""},
    });
}

// A name is found in the nearest slot of the running frame that holds it,
// else among the globals: through recursion, blocks that shadow and end,
// errors that unwind frames, eval that adds a local, declarations that
// reach an earlier slot, and frames with many names (more than the first growth of the index).
TEST_F(InterpTest, NamesResolveToTheNearestSlotOfTheFrame) {
    std::string many = "function wide() { var t = 0;";
    for (int i = 0; i < 250; ++i) many += "\n var w" + std::to_string(i) + " = " + std::to_string(i) + ";";
    many += " for (var i = 0; i < 250; i += 7) t = t + eval('w' + i); return [t, w0, w249]; }";
    check_cases({
        {"function f(n) { if (n == 0) return ''; var a = n; var rest = f(n - 1); return a + rest; }"
         " var r = f(4);",
         "\"4321\""},
        // A callee does not see its caller's locals, only the globals.
        {"var x = 'g'; function g() { return x; } function f() { var x = 'f'; return [x, g(), x]; } var r = f();",
         "[\"f\",\"g\",\"f\"]"},
        {"var x = 'g'; function g() { x = 'set'; } function f() { var x = 'f'; g(); return x; } var r = [f(), x];",
         "[\"f\",\"set\"]"},
        // Blocks shadow and, when they end, uncover the outer slot again.
        {"function f() { let x = 1; var seen = []; { let x = 2; { let x = 3; seen.push(x); } seen.push(x); }"
         " seen.push(x); for (let x = 7; x < 8; x++) seen.push(x); seen.push(x); return seen; } var r = f();",
         "[3,2,1,7,1]"},
        // A var inside a block reaches the function's own slot, not the block's let.
        {"function f() { var x = 1; var inner; { let x = 2; var x = 3; inner = x; } return [inner, x]; } var r = f();",
         "[2,3]"},
        {"function f() { var y = 1; { let y = 5; y = y + 1; } return y; } var r = f();", "1"},
        // Frames unwound by a throw leave no slot behind.
        {"function deep(n) { var q = n; if (n == 0) throw 'x'; return deep(n - 1); }"
         " function f() { var q = 'mine'; try { deep(6); } catch (e) { q = q + e; } return q; } var r = f();",
         "\"minex\""},
        {"var q = 'global'; function deep(n) { var q = n; if (n == 0) throw 'x'; return deep(n - 1); }"
         " try { deep(3); } catch (e) {} var r = q;",
         "\"global\""},
        // eval adds a local to the running frame.
        {"function f() { var a = 1; eval('var b = a + 1'); var c = b * 10; return [a, b, c]; } var r = f();",
         "[1,2,20]"},
    });
    many += " var r = wide();";
    check_cases({{many.c_str(), "[4410,0,249]"}});
}

// A function ends by a return statement of its body, or of a branch of an
// if statement in its body, as by any other return.
TEST_F(InterpTest, ReturnsFromTheBodyAndItsIfStatements) {
    check_cases({
        {"function fib(n) { if (n < 2) return n; return fib(n - 1) + fib(n - 2); } var r = fib(15);", "610"},
        {"function f(a) { if (a > 0) return 'pos'; else return 'neg'; } var r = [f(1), f(-1)];",
         "[\"pos\",\"neg\"]"},
        {"function f(a) { if (a) { var t = a * 2; return t; } return 'none'; } var r = [f(3), f(0)];",
         "[6,\"none\"]"},
        {"function f(a) { var n = 0; if (a) n = 5; if (!a) n = 7; return n; } var r = [f(1), f(0)];", "[5,7]"},
        {"function f(a) { if (a) return; return 'end'; } var r = [f(1), f(0)];", "[undefined,\"end\"]"},
        {"function f() { return; } var r = [f()];", "[undefined]"},
        {"function P(x) { this.x = x; if (x) return; this.y = 1; } var p = new P(2), q = new P(0);"
         " var r = [p.x, p.y, q.x, q.y];",
         "[2,undefined,0,1]"},
        {"function P(x) { if (x) return [x]; this.z = 1; } var r = [new P(4), new P(0).z];", "[[4],1]"},
        // A result that is a parameter's value lives on after the frame.
        {"function f(s) { if (s.length > 2) return s; return s + '!'; } var r = [f('abc'), f('x')];",
         "[\"abc\",\"x!\"]"},
        // A break that leaves a call in the condition or in the returned value.
        {"function g(n) { if (n == 2) break; return n; } function f(n) { if (g(n) > 0) return n * 10; return -1; }"
         " var r = []; for (var i = 0; i < 5; i++) { r.push(f(i)); }",
         "[-1,10]"},
        {"function g(n) { if (n == 2) break; return n; } function f(n) { if (n >= 0) return g(n); return -1; }"
         " var r = []; for (var i = 0; i < 5; i++) { r.push(f(i)); }",
         "[0,1]"},
    });
    // An error in the condition or the returned value names its own place.
    for (const char* script : {"function f(a) { var x = 1;\n  if (a.b.c) return 1; return 2; }\nf(undefined);",
                               "function f(a) {\n  return a.b.c; }\nf(undefined);"}) {
        fresh_process();
        Outcome o = run_script(script);
        EXPECT_EQ(o.code, 2035) << script;
        EXPECT_NE(o.report.find(":2:"), std::string::npos) << o.report;
    }
}

// An argument or a default that fails abandons the call: the values
// evaluated before it are released, so nothing accumulates.
TEST_F(InterpTest, AbandonedCallsReleaseTheirArguments) {
    const char* scripts[] = {
        "function f(a, b) { return a; } var s = 0;"
        " for (var i = 0; i < 20000; i++) { try { f([i], nothing()); } catch (e) { s = e.name; } }",
        "function f(a, b = nothing()) { return a; } var s = 0;"
        " for (var i = 0; i < 20000; i++) { try { f([i]); } catch (e) { s = e.name; } }",
        "function f(a, b, c, d, e, g, h, k, m, n) { return a; } var s = 0;"
        " for (var i = 0; i < 20000; i++) { try { f([i], [i], [i], [i], [i], [i], [i], [i], [i], nothing()); }"
        " catch (e) { s = e.name; } }",
        "function f(a) { let t = [a]; nothing(); } var s = 0;"
        " for (var i = 0; i < 20000; i++) { try { f([i]); } catch (e) { s = e.name; } }",
    };
    for (const char* script : scripts) {
        fresh_process();
        Outcome o = run_script(script);
        EXPECT_FALSE(o.error) << script << "\n  " << o.message;
        EXPECT_EQ(global_text("s"), "\"2155\"") << script;
        EXPECT_LT(memory_stats().cell_pages_used, 8u) << script;
        EXPECT_EQ(g_interp.top(), 0u) << script;
    }
}

// Errors are reported at the last instruction that ran: right after a call
// that is the callee's last statement, or its body when it has none.
TEST_F(InterpTest, AnErrorRightAfterACallIsReportedWhereTheCalleeLastRan) {
    struct PositionCase {
        const char* script;
        const char* report;
    };
    const PositionCase cases[] = {
        {"function f() {\n}\nvar r = f() / 0;", "EVAL ERROR 2310 (:1:"},
        {"function f() {\n  var q = 1;\n}\nvar r = f() / 0;", "EVAL ERROR 2310 (:2:"},
        {"function f() {\n}\nvar x = 1;\nvar r = x / 0;", "EVAL ERROR 2330 (:4:"},
    };
    for (const PositionCase& c : cases) {
        fresh_process();
        run_script(c.script);
        std::string j = journal_buffer();
        EXPECT_NE(j.find(c.report), std::string::npos) << c.script << "\n" << j;
    }
}

std::vector<uint8_t> g_stepped;
void on_step(Value instr) { g_stepped.push_back(cell_as<InstrCell>(instr)->opcode); }

TEST_F(InterpTest, AStepHookSeesTheBodyOfEveryCall) {
    g_stepped.clear();
    g_hooks.debug_step = on_step;
    Outcome o = run_script("function f(a) { return a; } var r = f(1) + f(2);");
    g_hooks.debug_step = nullptr;
    EXPECT_FALSE(o.error) << o.message;
    EXPECT_EQ(global_text("r"), "3");
    EXPECT_EQ(std::count(g_stepped.begin(), g_stepped.end(), op_byte(Op::OP_BLOCK)), 2);
    EXPECT_EQ(std::count(g_stepped.begin(), g_stepped.end(), op_byte(Op::OP_RETURN)), 2);
}

}  // namespace
}  // namespace koru::test
