// Jump contexts and the pending-jump protocol shared by loops, switch, try
// and calls.
#pragma once
#include <cstdint>

#include "host/errors.h"
#include "interp/intpath.h"
#include "interp/jumps.h"
#include "interp/state.h"
#include "interp/support.h"

namespace koru {

// The truth of a condition, as if, loops and the ternary take it.
[[gnu::always_inline]] inline bool truthy_of(Value expr) {
    if (bool b; int_condition(expr, b)) return b;
    TempGuard v(evaluate(expr));
    return value_truthy(v.get());
}

// The truth of a loop's condition, taken apart before the loop.
[[gnu::always_inline]] inline bool condition_holds(const LeafComparison& lc, Value cond) {
    if (bool b; lc.cell && leaf_comparison_test(lc, b)) return b;
    return truthy_of(cond);
}

// The branch an if statement takes: its second operand when the condition
// holds, else its third (undefined, which evaluates to itself, when there
// is none).
inline Value if_branch(const InstrCell& c) {
    uint32_t n = c.operand_count();
    const uint32_t* ops = operands(c);
    if (n < 2) return kUndefinedValue;
    return truthy_of(Value(ops[0])) ? Value(ops[1]) : n > 2 ? Value(ops[2]) : kUndefinedValue;
}

// Pushes a jump context for the life of a construct and restores the
// context count when it ends, normally or by an unwinding error.
class ContextGuard {
public:
    explicit ContextGuard(JumpType t) : saved_(g_jumps.size()), index_(g_jumps.push(t)) {}
    ~ContextGuard() { g_jumps.restore(saved_); }
    ContextGuard(const ContextGuard&) = delete;
    ContextGuard& operator=(const ContextGuard&) = delete;
    uint32_t index() const { return index_; }
    // Takes the context off the stack early (a try's catch and finally run outside it).
    void pop() { g_jumps.restore(saved_); }

private:
    uint32_t saved_, index_;
};

// The innermost context that takes a jump of this kind, searched from the
// top down to entry 1 (the host's entry 0 takes only thrown values and
// errors); 0 when there is none.
uint32_t jump_target(Jump kind);

// A thrown value on its way to a try: it travels retained, so that locals
// popped on the way cannot destroy it.  Errors travel as plain Unwind with
// a fresh error object that nothing else holds.
struct Thrown : Unwind {};

// A new Exception from a message String and an optional String or Int code
// (error 2360 otherwise).
Value make_exception_value(Value msg, const Value* code);

}  // namespace koru
