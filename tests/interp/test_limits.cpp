// The nesting limit that calls, eval and template expansion share, and the
// request limits (processor time, memory) as the interpreter meets them.
#include "interp/fixture.h"
#include "interp/state.h"
#include "runtime/limits.h"

namespace koru::test {
namespace {

// ---- nesting ----------------------------------------------------------------

TEST_F(InterpTest, EvalAndTemplateRecursionEndInTheDepthError) {
    const char* scripts[] = {
        // eval text that evals itself: no call in between
        "var s = 'eval(s)'; eval(s);",
        // a function that recurses through eval
        "function f(n) { return eval('f(n + 1)'); } f(0);",
        // through a template
        "function g(n) { return `${g(n + 1)}`; } g(0);",
        // eval inside a try does not change the error
        "var s = 'try { eval(s); } finally { }'; eval(s);",
    };
    for (const char* script : scripts) {
        fresh_process();
        Outcome o = run_script(script);
        EXPECT_TRUE(o.error) << script;
        EXPECT_EQ(o.code, 1400) << script << "\n  " << o.message;
        EXPECT_EQ(o.message, "メモリ領域を取得できません") << script;
        EXPECT_EQ(g_interp.top(), 0u) << script;
        EXPECT_EQ(g_interp.call_depth, 0u) << script;
    }
}

TEST_F(InterpTest, EvalCountsInTheCallDepth) {
    // 400 calls through eval are 800 levels: below the limit.
    Outcome o = run_script("function f(n) { if (n == 0) return 0; return eval('f(n - 1)') + 1; } var r = f(400);");
    EXPECT_FALSE(o.error) << o.message;
    EXPECT_EQ(global_text("r"), "400");
    // 600 calls alone would pass; with their evals they are 1200 levels.
    fresh_process();
    o = run_script("function f(n) { if (n == 0) return 0; return eval('f(n - 1)') + 1; } var r = f(600);");
    EXPECT_EQ(o.code, 1400);
    // The depth error is an ordinary error: a try takes it, and the levels
    // the unwinding left are free again for a deep recursion of calls.
    fresh_process();
    o = run_script(
        "function f(n) { return eval('f(n + 1)'); } var caught = 0; try { f(0); } catch (e) { caught = e.name; }"
        "function d(n) { if (n == 0) return 0; return d(n - 1) + 1; } var r = [caught, d(990)];");
    EXPECT_FALSE(o.error) << o.message;
    EXPECT_EQ(global_text("r"), "[\"1400\",990]");
}

// ---- request limits ----------------------------------------------------------

class LimitTest : public InterpTest {
protected:
    void SetUp() override {
        InterpTest::SetUp();
        limits_reset();
    }
    void TearDown() override {
        limits_reset();
        InterpTest::TearDown();
    }
};

// With the processor-time flag up (as the timer's signal leaves it), every
// kind of check point ends the script, past its try and finally: the catch
// and finally bodies set `seen`, which must stay 0.
TEST_F(LimitTest, EveryCheckPointEndsTheScriptPastTry) {
    const char* scripts[] = {
        "try { while (true) {} } catch (e) { seen = 1; }",
        "try { do { } while (true); } catch (e) { seen = 1; }",
        "try { for (var i = 0; true; i++) { continue; } } catch (e) { seen = 1; } finally { seen = 2; }",
        "try { for (var x of [1, 2, 3]) { } } catch (e) { seen = 1; }",
        "try { for (var k in {a: 1}) { } } catch (e) { seen = 1; }",
        "function f() { return 1; } try { f(); } catch (e) { seen = 1; }",
        "try { eval('1'); } catch (e) { seen = 1; }",
        "var x = 1; try { var t = `${x}`; } catch (e) { seen = 1; }",
        // nested tries are passed by alike
        "try { try { while (true) {} } catch (e) { seen = 1; } } catch (e) { seen = 2; }",
    };
    // A single match that backtracks for long (to its budget, unchecked):
    // the matcher checks too.  No loop or call comes before it.
    const std::string backtracking = "var s = '" + std::string(3000, 'a') +
                                     "'; try { var m = /a+a+a+a+b/.test(s); } catch (e) { seen = 1; }";
    std::vector<std::string> all(std::begin(scripts), std::end(scripts));
    all.push_back(backtracking);
    for (const std::string& script : all) {
        fresh_process();
        g_limit_passed = kCpuLimitCode;
        Outcome o = run_script("var seen = 0; " + script);
        EXPECT_TRUE(o.error) << script;
        EXPECT_EQ(o.code, 1780) << script << "\n  " << o.message;
        EXPECT_EQ(o.message, "CPU時間の上限を超えました(CPU_LIMIT)") << script;
        EXPECT_EQ(global_text("seen"), "0") << script;
        EXPECT_EQ(g_interp.top(), 0u) << script;
        limits_reset();
    }
}

TEST_F(LimitTest, NoFlagNoError) {
    // The same check points with the flag down run to their end.
    check_cases({
        {"var r = 0; while (r < 3) r++;", "3"},
        {"function f() { return 2; } var r = eval('f()');", "2"},
        {"var r = /a+a+a+a+b/.test('aaaaaaaaaaaaaaaaaaaa');", "false"},
    });
}

// Memory taken from the system past the cap ends the script at the
// allocation, past the try; the error can still be reported (its own
// allocation is not refused).
TEST_F(LimitTest, MemoryPastTheCapEndsTheScriptPastTry) {
    const char* scripts[] = {
        // many small blocks and cells
        "var a = []; try { while (true) a.push('item ' + a.length); } catch (e) { seen = 1; }",
        // one block that doubles: large blocks
        "var s = 'x'; try { while (true) s += s; } catch (e) { seen = 1; }",
    };
    for (const char* script : scripts) {
        fresh_process();
        // The compile phase is done in run_script; a cap a few pages above
        // what start-up took.
        g_memory_count.cap = g_memory_count.taken + (2u << 20);
        Outcome o = run_script(std::string("var seen = 0; ") + script);
        EXPECT_EQ(o.code, 1785) << script << "\n  " << o.message;
        EXPECT_EQ(o.message, "メモリの上限を超えました(MEMORY_LIMIT)") << script;
        EXPECT_EQ(global_text("seen"), "0") << script;
        EXPECT_EQ(g_limit_passed, kMemoryLimitCode) << script;
        limits_reset();
    }
}

TEST_F(LimitTest, MemoryCountFollowsLargeBlocksBack) {
    // Sixteen texts of half a megabyte, one after another in the same
    // variable: 8 MB taken in all, but each old one goes back, so what is
    // held (not what was ever taken) stays below a cap of 4 MB.
    g_memory_count.cap = g_memory_count.taken + (4u << 20);
    Outcome o = run_script(
        "var s = 'x'; for (var i = 0; i < 19; i++) s += s;"
        "var t; for (var i = 0; i < 16; i++) t = s + i; var r = t.length;");
    EXPECT_FALSE(o.error) << o.message;
    EXPECT_EQ(global_text("r"), "524290");
    size_t before = g_memory_count.taken;
    AreaBlock a = area_alloc(1u << 20);
    EXPECT_EQ(g_memory_count.taken, before + (1u << 20));
    area_free(a.addr);
    EXPECT_EQ(g_memory_count.taken, before);
}

}  // namespace
}  // namespace koru::test
