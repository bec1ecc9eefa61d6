// The interpreter's single entry: evaluate a value.  Immediates and data
// evaluate to themselves, symbols to their variable's value, literals that
// hold expressions to a fresh copy, and Instruction cells to the result of
// their opcode's handler.  A result may be a temporary (count 0): callers
// drop it with value_drop_temp when done.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/errors.h"
#include "runtime/area.h"
#include "runtime/cell.h"
#include "runtime/hooks.h"
#include "runtime/value.h"

namespace koru {

Value dispatch(Value v);         // an Instruction
Value evaluate_data(Value v);    // strings, literals and the kinds that cannot be evaluated
Value lookup_variable(uint32_t symbol);

// Kinds that evaluate to themselves: Int, Date, Exception, RegExp, Double, Function.
constexpr uint32_t kSelfKinds = 1u << 2 | 1u << 5 | 1u << 6 | 1u << 7 | 1u << 8 | 1u << 14;

// Inline, so that constants and names, the most frequent operands, cost no
// call of their own.
inline Value evaluate(Value v) {
    unsigned k = static_cast<unsigned>(v.kind());
    if (k == static_cast<unsigned>(Kind::Instruction)) return dispatch(v);
    if ((kSelfKinds >> k) & 1) return v;
    if (k == static_cast<unsigned>(Kind::Immediate)) return v.payload() <= kNaN ? v : lookup_variable(v.payload());
    return evaluate_data(v);
}

// What dispatch does before a handler runs: the module and position that
// errors report.  A large block keeps its statement count where the
// position would be.
inline void enter_instruction(const InstrCell& c) {
    g_errors.module = static_cast<uint8_t>(c.module_number());
    if (c.nops != InstrCell::kLargeCount) g_errors.position = c.position & 0x7FFFFFFF;
}

// The operand words of an instruction: inline when there are at most two,
// else the operand vector.
inline const uint32_t* operands(const InstrCell& c) {
    if (c.nops > 2) return static_cast<const uint32_t*>(area_ptr(AreaAddr{c.op0}));
    return &c.op0;
}
inline Value operand(const InstrCell& c, unsigned i) { return Value(operands(c)[i]); }

// A handler receives the instruction cell and returns the result.
using Handler = Value (*)(const InstrCell& c);

// Every instruction goes through the debugger: its step hook is set, or it
// is evaluating an expression with its own table.
inline bool debug_hooks_active() { return g_hooks.debug_step || g_errors.debug_eval; }

// Replaces the handler of an opcode for a while (tests put their own in).
// The debug-eval table keeps its rejecting handler where it has one.  Null
// puts the opcode table's own handler back.
void set_handler(unsigned opcode, Handler h);

// Compiles and runs `text` as a statement list in the current scope; the
// value of the last statement is returned (`empty_result` when there is
// none).  Used by template expansion and eval.
Value run_text(const char* text, size_t len, bool no_stops, Value empty_result);

// Told of a freed template string: the code compiled for its substitutions
// goes with it.
void template_code_forget(Value str);

}  // namespace koru
