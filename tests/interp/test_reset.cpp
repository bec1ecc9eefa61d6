// The one reset path: after it, a script finds the engine as a fresh process
// has it, whatever ran before and however the previous run ended.
#include "fixture.h"

#include <cstring>

#include "host/config.h"
#include "host/modules.h"
#include "host/random.h"
#include "host/request.h"
#include "host/token.h"
#include "interp/state.h"

namespace koru::test {
namespace {

// What a run leaves that a fresh engine would show differently.
struct Snapshot {
    uint32_t symbols;
    int64_t probe_symbol;
    uint32_t probe_cell;  // the cell word of the global "probe"
    MemoryStats memory;
    size_t globals;
    std::string records;
    std::string journal;
    uint32_t a_records;
    bool error;
    int code;
};

// Touches globals, symbols, cells, records, the journal and an error, and
// leaves a new cell in "probe".
constexpr const char* kProbe =
    "var probe = [1, 'two', {three: 3}]; sendToFront(probe); console.log('p', probe);"
    " var caught; try { var z = [1] * 2; } catch (e) { caught = e.name; } sendToFront('c', caught);";

Snapshot snapshot_of(const Outcome& o) {
    int64_t sym = symbol_lookup("probe", 5);
    int64_t slot = sym < 0 ? -1 : global_find(static_cast<uint32_t>(sym));
    return {symbol_count(), sym, slot < 0 ? 0 : g_globals.slots[slot].value.bits, memory_stats(),
            g_globals.slots.size(), g_records, journal_buffer(), g_front.a_records, o.error, o.code};
}

void expect_same(const Snapshot& a, const Snapshot& b, const std::string& after) {
    EXPECT_EQ(a.symbols, b.symbols) << after;
    EXPECT_EQ(a.probe_symbol, b.probe_symbol) << after;
    EXPECT_EQ(a.probe_cell, b.probe_cell) << after;
    EXPECT_EQ(a.memory.cell_pages_used, b.memory.cell_pages_used) << after;
    EXPECT_EQ(a.memory.free_cells, b.memory.free_cells) << after;
    EXPECT_EQ(a.memory.cell_bump_slot, b.memory.cell_bump_slot) << after;
    EXPECT_EQ(a.memory.word_pages_used, b.memory.word_pages_used) << after;
    EXPECT_EQ(a.globals, b.globals) << after;
    EXPECT_EQ(a.records, b.records) << after;
    EXPECT_EQ(a.journal, b.journal) << after;
    EXPECT_EQ(a.a_records, b.a_records) << after;
    EXPECT_EQ(a.error, b.error) << after;
    EXPECT_EQ(a.code, b.code) << after;
}

// Scripts that leave state behind in different ways, each followed by the
// probe after a reset.
struct Disturbance {
    const char* name;
    const char* script;
    void (*after)();  // more state changed outside the script (may be null)
};

// Scripts compiled from source only: the object-image runs of InterpTest
// rebuild memory and symbols on their own between compiling and running.
class ResetTest : public InterpTest {};

TEST_F(ResetTest, ResetBringsBackAFreshEngine) {
    const Hooks wired = g_hooks;  // the program's wiring and the fixture's record capture
    Snapshot first = snapshot_of(run_script(kProbe));
    ASSERT_FALSE(first.error);
    ASSERT_NE(first.probe_cell, 0u);
    ASSERT_FALSE(first.records.empty());
    ASSERT_FALSE(first.journal.empty());

    const Disturbance cases[] = {
        {"many names and values", "var a1 = 1, a2 = [2], a3 = {q: 'x'}; var s = ''; for (var i = 0; i < 3000; i++) s += i;",
         nullptr},
        {"an uncaught error", "var kept = [1]; var u = [1] * 2;", nullptr},
        {"an uncaught throw", "var kept = {k: 1}; throw [kept];", nullptr},
        {"an error deep in calls", "function f(n) { var l = [n]; if (n == 0) { var x = [l] * 2; } return f(n - 1); } f(50);",
         nullptr},
        {"a parse error", "var x = ;", nullptr},
        {"records and journal", "for (var i = 0; i < 20; i++) { sendToFront('k' + i, [i]); console.log(i); }", nullptr},
        {"host state",
         "var h = 'host';",
         [] {
             module_add("extra.js", ModuleKind::Source);
             g_modules.statements.push_back(make_string("kept in the module list"));
             g_config.cpu_limit = 7;
             g_config.vars.push_back("'v':'1'");
             g_token.refused = true;
             g_request.top_given = true;
             g_request.top_text = "main()";
             random_seed(1234);
             g_errors.top_running = true;
         }},
        // Hooks a test set for itself, and wiring it took away.
        {"hooks replaced", "var re = /a+/g; var t = `${re.source}`;",
         [] {
             g_hooks.debug_step = [](Value) {};
             g_hooks.call_enter = [](Value, uint32_t) {};
             g_hooks.console = [](const char*, size_t) {};
             g_hooks.module_path = [](unsigned) { return "stale"; };
             g_hooks.regex_literal = nullptr;
             g_hooks.compile_text = nullptr;
             g_hooks.instruction_freed = nullptr;
         }},
        // The memory reset alone (as the compiler's own tests once did):
        // the globals still name cells in the pages it freed.
        {"memory reset on its own", "var kept = [[1], {a: [2]}];", [] { memory_reset(); }},
    };
    for (const Disturbance& d : cases) {
        run_script(d.script);
        if (d.after) d.after();
        fresh_process();
        EXPECT_EQ(g_modules.size(), 0u) << d.name;
        EXPECT_TRUE(g_modules.statements.empty()) << d.name;
        EXPECT_EQ(g_config.cpu_limit, 0u) << d.name;
        EXPECT_TRUE(g_config.vars.empty()) << d.name;
        EXPECT_FALSE(g_token.refused) << d.name;
        EXPECT_FALSE(g_request.top_given) << d.name;
        EXPECT_EQ(g_random.state, 1u) << d.name;
        EXPECT_FALSE(g_errors.top_running) << d.name;
        EXPECT_EQ(g_interp.top(), 0u) << d.name;
        EXPECT_EQ(g_interp.call_depth, 0u) << d.name;
        EXPECT_EQ(global_kind("kept"), Kind::None4) << d.name;
        EXPECT_EQ(std::memcmp(&g_hooks, &wired, sizeof wired), 0) << d.name;
        expect_same(first, snapshot_of(run_script(kProbe)), std::string("after ") + d.name);
    }
}

}  // namespace
}  // namespace koru::test
