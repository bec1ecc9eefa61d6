#include <algorithm>

#include "compiler/emit.h"
#include "fixture.h"
#include "interp/evaluate.h"
#include "interp/methods.h"
#include "interp/opcodes.h"
#include "interp/state.h"

namespace koru::test {
namespace {

TEST_F(InterpTest, ErrorsReportTheInstructionPosition) {
    Outcome o = run_script("var a = 1;\nvar b = 2;\n  var c = a / 0;");
    EXPECT_EQ(o.code, 2330);
    std::string j = journal_buffer();
    EXPECT_NE(j.find("EVAL ERROR 2330 (:3:"), std::string::npos) << j;
}

int g_depth = 0, g_max_depth = 0;
void on_enter(Value, uint32_t) { g_max_depth = std::max(g_max_depth, ++g_depth); }
void on_exit() { --g_depth; }

TEST_F(InterpTest, CallHooksStayBalancedWhenAThrowPassesThrough) {
    g_depth = g_max_depth = 0;
    g_hooks.call_enter = on_enter;
    g_hooks.call_exit = on_exit;
    Outcome o = run_script(
        "function inner() { throw 'x'; } function outer() { let pad = [1]; inner(); }"
        " var r; try { outer(); } catch (e) { r = e; }");
    g_hooks.call_enter = nullptr;
    g_hooks.call_exit = nullptr;
    EXPECT_FALSE(o.error);
    EXPECT_EQ(g_max_depth, 2);
    EXPECT_EQ(g_depth, 0);
    // The frames of both calls are gone again.
    EXPECT_EQ(g_interp.top(), 0u);
    EXPECT_EQ(g_interp.frame_base, 0u);
    EXPECT_EQ(global_text("r"), "\"x\"");
}

// What the debugger evaluates while a statement waits to run is not that
// statement: an increment it evaluates gives its old value even when the
// statement's own value is never read.
bool g_in_hook = false;
std::string g_hook_saw;
void evaluate_in_hook(Value instr) {
    if (g_in_hook || cell_as<InstrCell>(instr)->opcode != op_byte(Op::OP_POST_INC)) return;
    g_in_hook = true;
    Value v = run_text("d++", 3, true, kUndefinedValue);
    write_display(v, g_hook_saw, false);
    value_drop_temp(v);
    g_in_hook = false;
}

TEST_F(InterpTest, TheStepHookDoesNotTakeTheUnreadStatement) {
    g_hook_saw.clear();
    g_hooks.debug_step = evaluate_in_hook;
    Outcome o = run_script("var c = 1 * 1; var d = 5 * 1; function f() { c++; } f(); var r = c + ',' + d;");
    g_hooks.debug_step = nullptr;
    EXPECT_FALSE(o.error) << o.message;
    EXPECT_EQ(g_hook_saw, "5");
    EXPECT_EQ(global_text("r"), "\"2,6\"");
}

Value answer(const InstrCell&) { return make_int(42); }

TEST_F(InterpTest, SubsystemsInstallHandlersButTheDebugTableKeepsRefusing) {
    constexpr unsigned kSelect = 162, kParseFloat = 177;
    Value select = make_instruction(static_cast<Op>(kSelect), 0);
    Value parse = make_instruction(static_cast<Op>(kParseFloat), 0);
    set_handler(kSelect, answer);
    set_handler(kParseFloat, answer);
    EXPECT_EQ(int_value(evaluate(select)), 42);
    g_errors.debug_eval = true;
    EXPECT_EQ(int_value(evaluate(parse)), 42);
    int code = 0;
    try {
        evaluate(select);
    } catch (const Unwind& u) {
        code = outcome_of(u.value).code;
    }
    g_errors.debug_eval = false;
    EXPECT_EQ(code, 1860);
    set_handler(kSelect, nullptr);
    set_handler(kParseFloat, nullptr);
}

bool upper_only(Value self, uint32_t name, const Value*, uint32_t n, Value* result) {
    if (std::string_view(symbol_name(name)) != "size" || n != 0) return false;
    *result = make_int(static_cast<int32_t>(string_length(self)));
    return true;
}

TEST_F(InterpTest, MethodFamiliesAreReachedThroughTheirRegistration) {
    set_method_family(MethodFamily::String, upper_only);
    Outcome o = run_script("var r = 'abcd'.size();");
    EXPECT_FALSE(o.error) << o.message;
    EXPECT_EQ(global_text("r"), "4");
    fresh_process();
    o = run_script("var r = 'abcd'.other();");
    EXPECT_EQ(o.code, 2820);
    set_method_family(MethodFamily::String, nullptr);
}

}  // namespace
}  // namespace koru::test
