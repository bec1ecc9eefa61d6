// Assignment, compound assignment, increment and decrement.  Each store is
// made only after the new value exists, and the old value is released only
// after the write, so an error never leaves a half-made store.
#include <string>
#include <string_view>

#include "host/errors.h"
#include "interp/evaluate.h"
#include "interp/handlers.h"
#include "interp/intpath.h"
#include "interp/numbers.h"
#include "interp/opcodes.h"
#include "interp/operators.h"
#include "interp/support.h"
#include "interp/variables.h"
#include "runtime/objects.h"
#include "runtime/string_append.h"
#include "runtime/symbols.h"

namespace koru {

namespace {

// The left side of an assignment: evaluated in place mode, leaving its
// place in g_interp.  The value is returned as the evaluation left it.
Value evaluate_target(Value target) {
    PlaceModeGuard mode(true);
    clear_place();
    return evaluate(target);
}

// Keeps the container of an element or pair place alive while the other
// side of a compound assignment runs.
class PlaceHold {
public:
    explicit PlaceHold(const Place& p) : place_(p), hold_(p.container) {}
    const Place& place() const { return place_; }

private:
    Place place_;
    RetainGuard hold_;
};

// Whether evaluating an assignment's target may run code that lets go of
// the value being assigned.  A member of a named variable only looks the
// property up (or adds it): it frees nothing.
bool target_runs_code(Value target) {
    if (target.kind() != Kind::Instruction) return false;
    const InstrCell& t = *cell_as<InstrCell>(target);
    return !(t.opcode == op_byte(Op::OP_MEMBER) && t.nops == 2 && Value(t.op0).is_symbol());
}

// An Int that only its place holds (`old`, in the run phase) may take a new
// number in its cell: whatever else keeps a value while code runs counts
// it, so nothing else can see the change.
bool store_int_in_place(Value old, int32_t n) {
    if (!is_sole_int(old)) return false;
    cell_as<IntCell>(old)->value = n;
    return true;
}

// The target `name.property` of a name that holds a Hash, evaluated as
// dispatch and the member handler evaluate it in place mode: the pair's
// value is the place's old value.  False for any other target, after at
// most the name's look-up, which the usual evaluation then repeats.
bool hash_member_target(Value target, Value& old) {
    if (target.kind() != Kind::Instruction) return false;
    const InstrCell& t = *cell_as<InstrCell>(target);
    if (t.opcode != op_byte(Op::OP_MEMBER) || t.nops != 2 || !Value(t.op0).is_symbol()) return false;
    uint32_t name = Value(t.op1).payload();
    if (name == SYM_length) return false;
    enter_instruction(t);
    Value obj = lookup_variable(Value(t.op0).payload());
    if (obj.kind() != Kind::Hash) return false;
    old = hash_property(obj, name, true);
    return true;
}

// A statement `target = integer expression`: the right side is already
// computed without a cell; the target is evaluated as in any assignment.
Value assign_int_statement(const InstrCell& c, int32_t n) {
    Value target(c.op0);
    Value old;
    if (target.is_symbol()) {
        // A name's look-up sets the whole place and returns its slot's value.
        old = lookup_variable(target.payload());
    } else if (!hash_member_target(target, old)) {
        value_drop_temp(evaluate_target(target));
        // The lastIndex of a RegExp is no cell.
        old = g_interp.place.kind == PlaceKind::LastIndex ? kUndefinedValue : place_value(g_interp.place);
    }
    if (g_interp.place_const) raise_runtime(err::assign_const);
    Place p = g_interp.place;
    if (p.kind == PlaceKind::None || store_int_in_place(old, n)) return kUndefinedValue;
    TempGuard value(make_int(n));
    store_to_place(p, value.get());
    return kUndefinedValue;
}

// Whether an unread statement may extend a String in its own block: never
// with the plain paths, under the debugger, in place mode or while images
// are made (their cells must stay as compiled).
bool append_open() {
    return !g_plain_paths && !debug_hooks_active() && !g_interp.place_mode && cells_reused();
}

// An operand whose evaluation runs no code and only looks up a name, if it
// is one: a name, a plain text or an Int.
bool is_append_operand(Value v) {
    if (v.is_symbol()) return true;
    Kind k = v.kind();
    return k == Kind::Int || (k == Kind::String && !cell_as<StringCell>(v)->is_template());
}

// A String that a name alone holds (count 1, not a template): its block may
// grow without anything else seeing the change.
bool is_sole_string(Value v) {
    return v.kind() == Kind::String && cell_of(v)->header == header_of(Kind::String, 1) &&
           !cell_as<StringCell>(v)->is_template();
}

// The text that adding `tail` to the String `str` puts on its end: another
// String's text or an Int's digits (written into `digits`).  False for
// anything else, and for `str` itself (its text cannot be read while its
// block grows): the handlers decide.
bool tail_text(Value str, Value tail, char (&digits)[16], std::string_view& text) {
    return tail != str && short_text(tail, digits, text);
}

// A statement `name = name + other`, where `other` is a name, a plain text
// or an Int and the name's String is held by the name alone (count 1, run
// phase): the other text goes onto the end of that String's block instead
// of both into a new String.  Nothing else holds the String, so nothing
// else sees it change.  The look-ups are those the handlers make, in their
// order, and the position is the addition's, as its dispatch leaves it; any
// other case returns false with no effect beyond the look-ups, and the
// handlers run as usual.
bool append_statement(const InstrCell& c) {
    Value target(c.op0), right(c.op1);
    if (!target.is_symbol() || right.kind() != Kind::Instruction) return false;
    const InstrCell& add = *cell_as<InstrCell>(right);
    if (add.opcode != op_byte(Op::OP_ADD) || add.nops != 2 || add.op0 != c.op0) return false;
    Value other(add.op1);
    if (!is_append_operand(other) || !append_open()) return false;
    enter_instruction(add);
    Value str = lookup_variable(target.payload());
    if (!is_sole_string(str)) return false;
    Place place = g_interp.place;
    bool is_const = g_interp.place_const;
    Value tail = other.is_symbol() ? lookup_variable(other.payload()) : other;
    char digits[16];
    std::string_view text;
    if (!tail_text(str, tail, digits, text)) return false;
    if (is_const || place.kind == PlaceKind::None) return false;
    string_append(str, text);
    g_interp.place = place;
    g_interp.place_const = false;
    return true;
}

}  // namespace

Value h_assign(const InstrCell& c) {
    bool unused = g_interp.result_unused;
    g_interp.result_unused = false;
    int32_t n;
    if (unused && Value(c.op1).kind() == Kind::Instruction && int_path_open() &&
        int_operand_instruction(Value(c.op1), n))
        return assign_int_statement(c, n);
    if (unused && append_statement(c)) return kUndefinedValue;
    TempGuard right(evaluate(Value(c.op1)));
    if (target_runs_code(Value(c.op0))) right.hold();
    // The old value is not needed: a temporary goes at once, before the
    // store can release what the place held.
    value_drop_temp(evaluate_target(Value(c.op0)));
    if (g_interp.place_const) raise_runtime(err::assign_const);
    Place p = g_interp.place;
    if (p.kind == PlaceKind::None) return right.release();
    store_to_place(p, right.get());
    return right.release();
}

// ---- += ------------------------------------------------------------------------------

namespace {

bool is_number(Kind k) { return k == Kind::Int || k == Kind::Double; }

Value add_assign_result(Value l, Value r) {
    Kind kl = l.kind(), kr = r.kind();
    bool numbers = is_number(kl) && is_number(kr);
    bool text = (kl == Kind::String && (kr == Kind::String || is_number(kr))) ||
                (kr == Kind::String && is_number(kl));
    if (!numbers && !text) raise_runtime(err::add_assign_kind);
    return add_values(l, r);
}

}  // namespace

namespace {

// A statement `name += other` on the same terms as `name = name + other`
// above: the name's String, held by the name alone, takes the other text on
// the end of its own block.  The look-ups are the handler's, in its order
// (the name, then the other operand); the position is the statement's own,
// as its dispatch left it.  A constant name, an other operand that is not a
// String or an Int, or the String itself return false with no effect beyond
// the look-ups: the handler then runs as usual and raises what it raises.
// The place the look-ups leave is the one the handler leaves, the other
// operand's when it is a name.
bool add_assign_statement(const InstrCell& c) {
    Value target(c.op0), other(c.op1);
    if (!target.is_symbol() || !is_append_operand(other) || !append_open()) return false;
    Value str = lookup_variable(target.payload());
    if (g_interp.place_const || !is_sole_string(str)) return false;
    Value tail = other.is_symbol() ? lookup_variable(other.payload()) : other;
    char digits[16];
    std::string_view text;
    if (!tail_text(str, tail, digits, text)) return false;
    string_append(str, text);
    return true;
}

}  // namespace

Value h_add_assign(const InstrCell& c) {
    bool unused = g_interp.result_unused;
    g_interp.result_unused = false;
    if (unused && add_assign_statement(c)) return kUndefinedValue;
    Value left = evaluate_target(Value(c.op0));
    // Held (and a temporary destroyed) at scope end: the right side may
    // overwrite the variable before the sum is made.
    RetainGuard keep_left(left);
    if (g_interp.place_const) raise_runtime(err::add_assign_const);
    if (g_interp.place.kind == PlaceKind::None) raise_runtime(err::add_assign_place);
    PlaceHold hold(g_interp.place);
    TempGuard right(evaluate(Value(c.op1)));
    TempGuard result(add_assign_result(left, right.get()));
    store_to_place(hold.place(), result.get());
    return result.release();
}

// ---- -=, *=, /=, %= -------------------------------------------------------------------

namespace {

Value arith_assign(const InstrCell& c, ArithOp op) {
    TempGuard right(evaluate(Value(c.op1)));
    Number r = arith_operand(right.get());
    TempGuard left(evaluate_target(Value(c.op0)));
    if (g_interp.place_const) raise_runtime(err::arith_assign_const);
    Place p = g_interp.place;
    Number l = arith_operand(left.get());
    Number out{arith_apply(op, l.value, r.value), l.is_double || r.is_double};
    left.reset(kUndefinedValue);
    TempGuard result(make_number(out));
    if (p.kind == PlaceKind::None) raise_runtime(err::arith_assign_place);
    store_to_place(p, result.get());
    return result.release();
}

}  // namespace

Value h_sub_assign(const InstrCell& c) { return arith_assign(c, ArithOp::Sub); }
Value h_mul_assign(const InstrCell& c) { return arith_assign(c, ArithOp::Mul); }
Value h_div_assign(const InstrCell& c) { return arith_assign(c, ArithOp::Div); }
Value h_mod_assign(const InstrCell& c) { return arith_assign(c, ArithOp::Mod); }

// ---- &=, |=, ^= ------------------------------------------------------------------------

namespace {

enum class BitAssign { And, Or, Xor };

Value bit_assign(const InstrCell& c, BitAssign op) {
    TempGuard right(evaluate(Value(c.op1)));
    if (right.get().kind() != Kind::Int) raise_runtime(err::bit_assign_right_not_int);
    right.hold_across(Value(c.op0));
    TempGuard left(evaluate_target(Value(c.op0)));
    if (g_interp.place_const) raise_runtime(err::bit_assign_const);
    if (left.get().kind() != Kind::Int) raise_runtime(err::bit_assign_left_not_int);
    Place p = g_interp.place;
    int32_t l = int_value(left.get()), r = int_value(right.get());
    int32_t v = op == BitAssign::And ? (l & r) : op == BitAssign::Or ? (l | r) : (l ^ r);
    left.reset(kUndefinedValue);
    if (p.kind == PlaceKind::None) raise_runtime(err::bit_assign_place);
    TempGuard result(make_int(v));
    store_to_place(p, result.get());
    return result.release();
}

}  // namespace

Value h_and_assign(const InstrCell& c) { return bit_assign(c, BitAssign::And); }
Value h_or_assign(const InstrCell& c) { return bit_assign(c, BitAssign::Or); }
Value h_xor_assign(const InstrCell& c) { return bit_assign(c, BitAssign::Xor); }

// ---- ++ and -- ------------------------------------------------------------------------

namespace {

struct Step {
    int delta;
    bool postfix;
    err::Plain const_error;  // the operand is a constant
    err::Plain kind_error;   // not a number, or no place to store
};

constexpr Step kPostInc{1, true, err::post_increment_const, err::post_increment_kind};
constexpr Step kPreInc{1, false, err::pre_increment_const, err::pre_increment_kind};
constexpr Step kPostDec{-1, true, err::post_decrement_const, err::post_decrement_kind};
constexpr Step kPreDec{-1, false, err::pre_decrement_const, err::pre_decrement_kind};

// Adds delta to the number in an Int's cell, wrapping at 32 bits.
void add_in_place(Value v, int delta) {
    IntCell* cell = cell_as<IntCell>(v);
    cell->value = static_cast<int32_t>(static_cast<uint32_t>(cell->value) + static_cast<uint32_t>(delta));
}

// A variable's Int that only the variable holds (in the run phase), when
// the step's value is not read: the number changes in its cell.
// A name's value is its slot's (the look-up returned it); any other operand
// must still be what its place holds.
bool step_in_place(Value operand, Value old, const Place& p, int delta) {
    if (!is_sole_int(old)) return false;
    if (p.kind != PlaceKind::Local && p.kind != PlaceKind::Global) return false;
    if (!operand.is_symbol() && place_value(p) != old) return false;
    add_in_place(old, delta);
    return true;
}

Value step(const InstrCell& c, const Step& s) {
    bool unused = g_interp.result_unused;
    g_interp.result_unused = false;
    clear_place();
    Value old = evaluate(Value(c.op0));
    TempGuard old_guard(old);
    if (g_interp.place_const) raise_runtime(s.const_error);
    Place p = g_interp.place;
    Kind k = old.kind();
    if ((k != Kind::Int && k != Kind::Double) || p.kind == PlaceKind::None) raise_runtime(s.kind_error);
    if (unused && step_in_place(Value(c.op0), old, p, s.delta)) return kUndefinedValue;
    Value next = k == Kind::Int
                     ? make_int(static_cast<int32_t>(static_cast<uint32_t>(int_value(old)) + static_cast<uint32_t>(s.delta)))
                     : make_double(double_value(old) + s.delta);
    TempGuard next_guard(next);
    Value displaced = exchange_place(p, next);
    old_guard.release();
    if (p.kind == PlaceKind::LastIndex) displaced = old;
    if (s.postfix) {
        // The old value leaves the place but lives on as the caller's temporary.
        value_unref(displaced);
        return displaced;
    }
    value_release(displaced);
    return next_guard.release();
}

}  // namespace

bool unread_step_of_name(const InstrCell& c) {
    Value target(c.op0);
    if (c.nops != 1 || !target.is_symbol() || debug_hooks_active()) return false;
    enter_instruction(c);
    Value old = lookup_variable(target.payload());
    if (g_interp.place_const || !is_sole_int(old)) return false;  // the handler decides
    int delta = c.opcode == op_byte(Op::OP_POST_INC) || c.opcode == op_byte(Op::OP_PRE_INC) ? 1 : -1;
    add_in_place(old, delta);
    return true;
}

Value h_post_inc(const InstrCell& c) { return step(c, kPostInc); }
Value h_pre_inc(const InstrCell& c) { return step(c, kPreInc); }
Value h_post_dec(const InstrCell& c) { return step(c, kPostDec); }
Value h_pre_dec(const InstrCell& c) { return step(c, kPreDec); }

}  // namespace koru
