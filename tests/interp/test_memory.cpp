#include "fixture.h"

namespace koru::test {
namespace {

// Each script makes and drops temporaries a million times over; freed cells
// are reused, so the cell pages in use stay few.
TEST_F(InterpTest, TemporariesDoNotAccumulate) {
    const char* scripts[] = {
        "var s = 0; for (var i = 0; i < 1000000; i++) { var a = [i, i + 1]; s = s + a[1] - a[0]; var t = 'x' + i; }",
        ("function f(x) { let y = [x, {k: x}]; return y[1].k + 1; } var s = 0;"
         " for (var i = 0; i < 1000000; i++) { s = f(i); }"),
        "var s = 0; for (var i = 0; i < 300000; i++) { try { throw [i]; } catch (e) { s = e[0]; } }",
        "var s = 0; for (var i = 0; i < 300000; i++) { try { var z = [1] * 2; } catch (e) { s = e.name; } }",
        "var s = ''; for (var i = 0; i < 300000; i++) { s = `${i}-${[i]}`; }",
        "function F(v) { this.v = [v]; } var s; for (var i = 0; i < 300000; i++) { s = new F(i); }",
    };
    for (const char* script : scripts) {
        fresh_process();
        Outcome o = run_script(script);
        EXPECT_FALSE(o.error) << script << "\n  " << o.message;
        EXPECT_LT(memory_stats().cell_pages_used, 8u) << script;
    }
}

// Code compiled while the script runs (templates and eval) is freed whole
// once it has run: the argument record of a call, the header list of a for,
// the catch record of a try and the tables of a switch go back with their
// cells, and a literal argument with them.  Each script runs a million
// times; cells and area blocks in use must stay where a thousand
// iterations leave them.
TEST_F(InterpTest, RunTimeCodeIsFreedWhole) {
    struct Case {
        const char* name;
        const char* body;  // one iteration, with i the counter
    };
    const Case cases[] = {
        {"template with a call", "s = `${f(1)}`;"},
        {"template with a call of the counter", "s = `<${f(i)}>`;"},
        {"eval with a call", "s = eval('f(1)');"},
        {"eval with new", "s = eval('new P(1)');"},
        {"eval with a conversion", "s = eval('Array(1, f(2), [3])');"},
        {"eval with for", "s = eval('for (var j = 0; j < 2; j++) { t = j; } t');"},
        {"eval with for-of", "s = eval('for (var e of [1, 2]) { t = e; } t');"},
        {"eval with try and catch", "s = eval('try { throw f(1); } catch (e) { t = e; } finally { t = t + 1; } t');"},
        {"eval with switch", "s = eval('switch (i % 3) { case 0: t = 1; break; case 1: t = f(2); break; default: t = 3; } t');"},
    };
    // A million iterations on the plain route; the image routes and the
    // sanitizer build take a tenth, which still shows a cell or a block a
    // turn as hundreds of pages.
    int iterations = 1000000;
#if defined(__SANITIZE_ADDRESS__)
    iterations = 100000;
#endif
    if (std::getenv("KORU_TEST_OBJECT_IMAGE") || std::getenv("KORU_PLAIN_PATHS")) iterations = 100000;
    for (const Case& c : cases) {
        std::string prefix = "function f(x) { return x; } function P(v) { this.v = v; } var s, t = 0;";
        auto script = [&](int n) {
            return prefix + " for (var i = 0; i < " + std::to_string(n) + "; i++) { " + c.body + " }";
        };
        fresh_process();
        Outcome few = run_script(script(1000).c_str());
        EXPECT_FALSE(few.error) << c.name << "\n  " << few.message;
        MemoryStats before = memory_stats();
        fresh_process();
        Outcome many = run_script(script(iterations).c_str());
        EXPECT_FALSE(many.error) << c.name << "\n  " << many.message;
        MemoryStats after = memory_stats();
        EXPECT_LE(after.cell_pages_used, before.cell_pages_used + 1) << c.name;
        EXPECT_LE(after.class_pages_used, before.class_pages_used + 2) << c.name;
        EXPECT_LE(after.large_blocks_live, before.large_blocks_live + 1) << c.name;
        EXPECT_LT(after.class_pages_used, 64u) << c.name;
    }
}

TEST_F(InterpTest, ReturnedValuesKeepTheirOwners) {
    check_cases({
        // A local returned from a function survives the frame; the caller owns it.
        {"function f() { var a = [1, 2]; return a; } var r = f();", "[1,2]"},
        // An argument passed straight back survives both frames.
        {"function id(x) { return x; } var r = id([3, [4]]);", "[3,[4]]"},
        {"function id(x) { return x; } var r = id(id(id('s') + 't'));", "\"st\""},
        {"var r = [[1, 2], [3]][0];", "[1,2]"},
        {"var r = {a: {b: 'c'}}.a;", "{'b':\"c\"}"},
        {"function mk() { return {v: [9]}; } var r = mk().v;", "[9]"},
        {"var r = 1; var q = r++; r = [q, r];", "[1,2]"},
    });
}

}  // namespace
}  // namespace koru::test
