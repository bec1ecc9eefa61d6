// Integer expressions computed without cells.
//
// An arithmetic expression (+ - * / % of two operands, brackets) whose
// operands are Int constants, names holding Ints, properties of a Hash named
// by a variable, `length`, and further such expressions, or a comparison of
// two such operands, is computed in native integers (a larger one by a
// program made the first time it runs).  The result is the one the handlers
// give, and the expression makes the same look-ups in the same order, so
// the place and the position it leaves are theirs too; only the
// intermediate Int cells are never made and freed.
//
// Anything else refuses: a Double or a text operand, a call, a division by
// zero, a product past 2^53.  The caller then evaluates the expression the
// ordinary way.  A refused attempt has only made look-ups (a name never
// declared becomes a global, as the ordinary evaluation makes it too), and
// the ordinary evaluation repeats each of them before anything else happens.
#pragma once
#include <cstdint>

#include "host/errors.h"
#include "interp/evaluate.h"
#include "interp/opcodes.h"
#include "interp/operators.h"
#include "interp/state.h"

namespace koru {

// a op b for two Int operands, in 64-bit integers: exactly the value the
// double arithmetic gives (every intermediate is an integer below 2^53);
// false leaves the pair to the general path (a divisor of 0, a large
// product, **).  The caller wraps r to 32 bits.
// Division and modulo divide in 32 bits, which is much faster than in 64;
// a divisor of -1 is taken apart, as its one overflowing case would trap.
template <ArithOp op>
inline bool int_pair(int32_t a, int32_t b, int64_t& r) {
    switch (op) {
    case ArithOp::Sub: r = int64_t{a} - b; return true;
    case ArithOp::Mul:
        r = int64_t{a} * b;
        return r > -(int64_t{1} << 53) && r < (int64_t{1} << 53);
    case ArithOp::Div:
        if (b == 0) return false;
        r = b == -1 ? -int64_t{a} : a / b;
        return true;
    case ArithOp::Mod: {
        if (b == 0) return false;
        int32_t m = b == -1 ? 0 : a % b;
        if (m != 0 && ((m < 0) != (b < 0))) m += b;  // floored: the divisor's sign
        r = m;
        return true;
    }
    default: return false;
    }
}

// The instruction `c`, already entered (its position set), as an integer.
bool int_instruction_body(const InstrCell& c, int32_t& out);

// Whether the integer path may stand in for the handlers: not while the
// debugger looks at every instruction or evaluates an expression, and not
// in place mode, where property look-ups add what they do not find, and not
// with the fast paths switched off.
inline bool int_path_open() {
    return !debug_hooks_active() && !g_interp.place_mode && !g_plain_paths;
}

// The entry of an arithmetic handler: the instruction it was dispatched for,
// as an integer when the integer path can compute it.
inline bool int_expression(const InstrCell& c, int32_t& out) {
    return c.nops == 2 && int_path_open() && int_instruction_body(c, out);
}

// An instruction operand as an integer, leaving the position of the last
// instruction the handlers would enter (as dispatch and the handler would).
bool int_operand_instruction(Value v, int32_t& out);

// A comparison (== === != !== >= > <= <) of two integer operands: `c`
// already entered, or `v` any operand (entered here), as a truth value.
bool int_comparison(const InstrCell& c, bool& out);
bool int_condition(Value v, bool& out);

// A loop's condition when it compares two operands that the integer path
// takes as they are (names, Int constants, members of a name, `length`),
// recognised once before the loop: each test is then the pair path without
// looking at the shapes of the operands again, and two names or constants
// are read from the words taken apart here.
struct LeafComparison {
    const InstrCell* cell = nullptr;  // null: not such a comparison
    bool plain = false;               // only names and Int constants
    bool name[2] = {false, false};
    uint32_t word[2] = {0, 0};        // the symbol, or the constant's number
};
LeafComparison leaf_comparison(Value cond);
// The truth of the comparison, with the pair path's look-ups and position;
// false refuses (an operand that is not an Int, the integer path closed)
// after at most the look-ups, and the condition is then taken the usual way.
bool leaf_comparison_test(const LeafComparison& lc, bool& out);

// Told of a freed instruction: its program goes with it.
void int_path_instruction_freed(const void* cell);

}  // namespace koru
