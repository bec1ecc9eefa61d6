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
