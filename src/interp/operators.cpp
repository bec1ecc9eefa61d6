// Arithmetic, addition, comparison, logic, bit operations, typeof and
// instanceof.
#include "interp/operators.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/errors.h"
#include "interp/handlers.h"
#include "interp/intpath.h"
#include "interp/numbers.h"
#include "interp/support.h"
#include "runtime/objects.h"
#include "runtime/symbols.h"

namespace koru {

// ---- arithmetic ---------------------------------------------------------------------

double arith_apply(ArithOp op, double a, double b) {
    switch (op) {
    case ArithOp::Sub: return a - b;
    case ArithOp::Mul: return a * b;
    case ArithOp::Div:
        if (b == 0) raise_runtime(err::division_by_zero);
        return a / b;
    case ArithOp::Mod:
        // The same zero test as division: a floored modulo by zero has no value.
        if (b == 0) raise_runtime(err::division_by_zero);
        return a - std::floor(a / b) * b;
    case ArithOp::Pow: return std::pow(a, b);
    }
    return 0;
}

namespace {

void apply_operand(Number& acc, ArithOp op, Value v) {
    Number b = arith_operand(v);
    acc.value = arith_apply(op, acc.value, b.value);
    acc.is_double = acc.is_double || b.is_double;
}

// The chain from its first operand (already evaluated) on, in the double
// model.
[[gnu::noinline]] Value arith_from(const InstrCell& c, ArithOp op, TempGuard& first) {
    Number acc = arith_operand(first.get());
    first.reset(kUndefinedValue);
    const uint32_t* ops = operands(c);
    for (uint32_t i = 1, n = c.operand_count(); i < n; ++i) {
        TempGuard next(evaluate(Value(ops[i])));
        apply_operand(acc, op, next.get());
    }
    return make_number(acc);
}

[[gnu::noinline]] Value arith_pair(ArithOp op, Value a, Value b) {
    Number acc = arith_operand(a);
    apply_operand(acc, op, b);
    return make_number(acc);
}

// Chains of another length than two.
[[gnu::noinline]] Value arith_other(const InstrCell& c, ArithOp op) {
    if (c.operand_count() == 0) return make_int(0);
    TempGuard first(evaluate(operand(c, 0)));
    return arith_from(c, op, first);
}

// The frequent case, two operands in the cell, takes the integer shortcut
// when both are Ints; anything else goes the general way.
template <ArithOp op>
Value arith_chain(const InstrCell& c) {
    if (c.nops != 2) return arith_other(c, op);
    int32_t n;
    if (int_expression(c, n)) return make_int(n);
    TempGuard first(evaluate(Value(c.op0)));
    if (first.get().kind() != Kind::Int) return arith_from(c, op, first);
    first.hold_across(Value(c.op1));
    TempGuard second(evaluate(Value(c.op1)));
    int64_t r;
    if (second.get().kind() == Kind::Int && int_pair<op>(int_value(first.get()), int_value(second.get()), r))
        return int_result(first, second, static_cast<int32_t>(static_cast<uint32_t>(r)));
    return arith_pair(op, first.get(), second.get());
}

}  // namespace

Value h_sub(const InstrCell& c) { return arith_chain<ArithOp::Sub>(c); }
Value h_mul(const InstrCell& c) { return arith_chain<ArithOp::Mul>(c); }
Value h_div(const InstrCell& c) { return arith_chain<ArithOp::Div>(c); }
Value h_mod(const InstrCell& c) { return arith_chain<ArithOp::Mod>(c); }
Value h_pow(const InstrCell& c) { return arith_chain<ArithOp::Pow>(c); }

// ---- addition -----------------------------------------------------------------------

namespace {

bool is_number(Kind k) { return k == Kind::Int || k == Kind::Double; }

// The text a value contributes to a concatenation, or false when it has none.
bool concat_text(Value v, std::string& out) {
    switch (v.kind()) {
    case Kind::String: out.append(string_text(v), string_length(v)); return true;
    case Kind::Int:
    case Kind::Double: append_number_text(v, out); return true;
    case Kind::Immediate: out += symbol_name(v.payload()); return true;
    default: return false;
    }
}

}  // namespace

bool short_text(Value v, char (&digits)[16], std::string_view& out) {
    if (v.kind() == Kind::String) {
        out = string_view_of(v);
        return true;
    }
    if (v.kind() == Kind::Int) {
        char* end = std::to_chars(digits, digits + sizeof digits, int_value(v)).ptr;
        out = std::string_view(digits, static_cast<size_t>(end - digits));
        return true;
    }
    return false;
}

Value add_values(Value a, Value b) {
    Kind ka = a.kind(), kb = b.kind();
    if (ka == Kind::String || kb == Kind::String) {
        // The frequent joins, a text with a text or an Int, need no buffer.
        char da[16], db[16];
        std::string_view ta, tb;
        if (short_text(a, da, ta) && short_text(b, db, tb)) return make_string_joined(ta, tb);
    }
    if (ka == Kind::Int && kb == Kind::Int)
        return make_int(static_cast<int32_t>(static_cast<uint32_t>(int_value(a)) + static_cast<uint32_t>(int_value(b))));
    if (is_number(ka) && is_number(kb)) {
        double x = ka == Kind::Int ? int_value(a) : double_value(a);
        double y = kb == Kind::Int ? int_value(b) : double_value(b);
        return make_double(x + y);
    }
    // Numbers join strings; immediates join strings and each other.
    bool texts = (ka == Kind::String && (kb == Kind::String || is_number(kb) || kb == Kind::Immediate)) ||
                 (kb == Kind::String && (is_number(ka) || ka == Kind::Immediate)) ||
                 (ka == Kind::Immediate && kb == Kind::Immediate);
    if (!texts) raise_runtime(err::add_kind);
    std::string s;
    concat_text(a, s);
    concat_text(b, s);
    return make_string(s);
}

namespace {

// Two Int operands add with 32-bit wrap-around, into a spare operand when
// there is one.
[[gnu::always_inline]] inline Value add_pair(TempGuard& a, TempGuard& b) {
    if (a.get().kind() == Kind::Int && b.get().kind() == Kind::Int) {
        uint32_t sum = static_cast<uint32_t>(int_value(a.get())) + static_cast<uint32_t>(int_value(b.get()));
        return int_result(a, b, static_cast<int32_t>(sum));
    }
    return add_values(a.get(), b.get());
}

}  // namespace

Value h_add(const InstrCell& c) {
    if (c.nops == 2) {
        int32_t n;
        if (int_expression(c, n)) return make_int(n);
        TempGuard a(evaluate(Value(c.op0)));
        a.hold_across(Value(c.op1));
        TempGuard b(evaluate(Value(c.op1)));
        return add_pair(a, b);
    }
    const uint32_t* ops = operands(c);
    uint32_t n = c.operand_count();
    if (n == 0) return kUndefinedValue;
    TempGuard acc(evaluate(Value(ops[0])));
    for (uint32_t i = 1; i < n; ++i) {
        acc.hold_across(Value(ops[i]));
        TempGuard next(evaluate(Value(ops[i])));
        acc.reset(add_pair(acc, next));
    }
    return acc.release();
}

// ---- comparison ---------------------------------------------------------------------

namespace {

enum class CmpKind { Ordered, Unordered, Identity };
struct Cmp {
    CmpKind kind;
    int sign;   // Ordered: -1, 0, 1
    bool same;  // Identity
};

double num_of(Value v) { return v.kind() == Kind::Int ? int_value(v) : double_value(v); }

Cmp order(double x, double y) {
    if (std::isnan(x) || std::isnan(y)) return {CmpKind::Unordered, 0, false};
    return {CmpKind::Ordered, x < y ? -1 : x > y ? 1 : 0, false};
}

// A string against a number: the text, trimmed of blanks and tabs, must read
// whole as a number (the empty text reads as 0), else nothing compares.
Cmp number_vs_string(double x, Value s, bool number_left) {
    std::string t(string_text(s), string_length(s) > 511 ? 511 : string_length(s));
    size_t b = t.find_first_not_of(" \t");
    if (b == std::string::npos) t.clear();
    else t = t.substr(b, t.find_last_not_of(" \t") - b + 1);
    char* end = nullptr;
    double y = std::strtod(t.c_str(), &end);
    if (static_cast<size_t>(end - t.c_str()) != t.size()) return {CmpKind::Unordered, 0, false};
    return number_left ? order(x, y) : order(y, x);
}

int bytes_compare(Value a, Value b) {
    uint32_t la = string_length(a), lb = string_length(b);
    int r = std::memcmp(string_text(a), string_text(b), la < lb ? la : lb);
    if (r != 0) return r < 0 ? -1 : 1;
    return la < lb ? -1 : la > lb ? 1 : 0;
}

Cmp compare(Value a, Value b) {
    Kind ka = a.kind(), kb = b.kind();
    if (is_number(ka) && is_number(kb)) return order(num_of(a), num_of(b));
    if (is_number(ka) && kb == Kind::String) return number_vs_string(num_of(a), b, true);
    if (ka == Kind::String && is_number(kb)) return number_vs_string(num_of(b), a, false);
    if (ka == Kind::String && kb == Kind::String) return {CmpKind::Ordered, bytes_compare(a, b), false};
    return {CmpKind::Identity, 0, (a.bits & 0x0FFFFFFF) == (b.bits & 0x0FFFFFFF)};
}

enum class Rel { Eq, Ge, Gt, Le, Lt };

bool holds(Rel r, Cmp c) {
    if (c.kind == CmpKind::Unordered) return false;
    if (c.kind == CmpKind::Identity) return c.same;
    switch (r) {
    case Rel::Eq: return c.sign == 0;
    case Rel::Ge: return c.sign >= 0;
    case Rel::Gt: return c.sign > 0;
    case Rel::Le: return c.sign <= 0;
    case Rel::Lt: return c.sign < 0;
    }
    return false;
}

template <Rel r, bool negate>
Value relation(const InstrCell& c) {
    if (bool b; int_path_open() && int_comparison(c, b)) return Value::boolean(b);
    TempGuard a(evaluate(Value(c.op0)));
    a.hold_across(Value(c.op1));
    TempGuard b(evaluate(Value(c.op1)));
    if (a.get().kind() == Kind::Int && b.get().kind() == Kind::Int) {
        int32_t x = int_value(a.get()), y = int_value(b.get());
        return Value::boolean(holds(r, Cmp{CmpKind::Ordered, x < y ? -1 : x > y ? 1 : 0, false}) != negate);
    }
    return Value::boolean(holds(r, compare(a.get(), b.get())) != negate);
}

}  // namespace

bool loose_equal(Value a, Value b) { return holds(Rel::Eq, compare(a, b)); }

bool strict_equal(Value a, Value b) {
    Kind ka = a.kind(), kb = b.kind();
    if (ka == Kind::Int && kb == Kind::Int) return int_value(a) == int_value(b);
    if (ka == Kind::Double && kb == Kind::Double) return double_value(a) == double_value(b);
    if (ka == Kind::String && kb == Kind::String) return bytes_compare(a, b) == 0;
    return a.bits == b.bits;
}

Value h_eq(const InstrCell& c) { return relation<Rel::Eq, false>(c); }
Value h_ne(const InstrCell& c) { return relation<Rel::Eq, true>(c); }
Value h_ge(const InstrCell& c) { return relation<Rel::Ge, false>(c); }
Value h_gt(const InstrCell& c) { return relation<Rel::Gt, false>(c); }
Value h_le(const InstrCell& c) { return relation<Rel::Le, false>(c); }
Value h_lt(const InstrCell& c) { return relation<Rel::Lt, false>(c); }

Value h_strict_eq(const InstrCell& c) {
    if (bool b; int_path_open() && int_comparison(c, b)) return Value::boolean(b);
    TempGuard a(evaluate(Value(c.op0)));
    a.hold_across(Value(c.op1));
    TempGuard b(evaluate(Value(c.op1)));
    return Value::boolean(strict_equal(a.get(), b.get()));
}

Value h_strict_ne(const InstrCell& c) {
    if (bool b; int_path_open() && int_comparison(c, b)) return Value::boolean(b);
    TempGuard a(evaluate(Value(c.op0)));
    a.hold_across(Value(c.op1));
    TempGuard b(evaluate(Value(c.op1)));
    return Value::boolean(!strict_equal(a.get(), b.get()));
}

// ---- logic --------------------------------------------------------------------------

namespace {

bool truthy_operand(Value operand) {
    if (bool b; int_condition(operand, b)) return b;
    TempGuard v(evaluate(operand));
    return value_truthy(v.get());
}

}  // namespace

Value h_not(const InstrCell& c) { return Value::boolean(!truthy_operand(Value(c.op0))); }

Value h_and(const InstrCell& c) {
    const uint32_t* ops = operands(c);
    for (uint32_t i = 0, n = c.operand_count(); i < n; ++i)
        if (!truthy_operand(Value(ops[i]))) return kFalseValue;
    return kTrueValue;
}

Value h_or(const InstrCell& c) {
    const uint32_t* ops = operands(c);
    for (uint32_t i = 0, n = c.operand_count(); i < n; ++i)
        if (truthy_operand(Value(ops[i]))) return kTrueValue;
    return kFalseValue;
}

Value h_cond(const InstrCell& c) {
    const uint32_t* ops = operands(c);
    if (c.operand_count() < 3) return kUndefinedValue;
    return evaluate(Value(truthy_operand(Value(ops[0])) ? ops[1] : ops[2]));
}

Value h_sequence(const InstrCell& c) {
    if (c.nops == 1) return evaluate(Value(c.op0));  // brackets around one expression
    const uint32_t* ops = operands(c);
    uint32_t n = c.operand_count();
    TempGuard last;
    for (uint32_t i = 0; i < n; ++i) last.reset(evaluate(Value(ops[i])));
    return last.release();
}

// ---- bit operations -----------------------------------------------------------------

namespace {

enum class BitOp { And, Or, Xor };

Value bit_chain(const InstrCell& c, BitOp op) {
    const uint32_t* ops = operands(c);
    uint32_t n = c.operand_count();
    uint32_t acc = 0;
    for (uint32_t i = 0; i < n; ++i) {
        TempGuard v(evaluate(Value(ops[i])));
        if (v.get().kind() != Kind::Int) {
            if (i == 0) raise_runtime(err::bit_first_not_int);
            raise_runtime(err::bit_other_not_int);
        }
        uint32_t x = static_cast<uint32_t>(int_value(v.get()));
        if (i == 0) acc = x;
        else if (op == BitOp::And) acc &= x;
        else if (op == BitOp::Or) acc |= x;
        else acc ^= x;
    }
    return make_int(static_cast<int32_t>(acc));
}

enum class ShiftOp { Left, Right, Unsigned };

Value shift(const InstrCell& c, ShiftOp op) {
    TempGuard a(evaluate(Value(c.op0)));
    a.hold_across(Value(c.op1));
    TempGuard b(evaluate(Value(c.op1)));
    if (a.get().kind() != Kind::Int) raise_runtime(err::shift_left_not_int);
    if (b.get().kind() != Kind::Int) raise_runtime(err::shift_right_not_int);
    int32_t x = int_value(a.get()), n = int_value(b.get());
    if (n < 0) raise_runtime(err::shift_negative);
    uint32_t u = static_cast<uint32_t>(x);
    switch (op) {
    case ShiftOp::Left: return make_int(static_cast<int32_t>(u << (n % 32)));
    case ShiftOp::Right: return make_int(x >> (n % 32));
    case ShiftOp::Unsigned:
        if (n == 0) return a.release();
        return make_int(static_cast<int32_t>((u >> 1) >> ((n - 1) % 32)));
    }
    return kUndefinedValue;
}

}  // namespace

Value h_bit_and(const InstrCell& c) { return bit_chain(c, BitOp::And); }
Value h_bit_or(const InstrCell& c) { return bit_chain(c, BitOp::Or); }
Value h_bit_xor(const InstrCell& c) { return bit_chain(c, BitOp::Xor); }
Value h_shl(const InstrCell& c) { return shift(c, ShiftOp::Left); }
Value h_shr(const InstrCell& c) { return shift(c, ShiftOp::Right); }
Value h_ushr(const InstrCell& c) { return shift(c, ShiftOp::Unsigned); }

Value h_bit_not(const InstrCell& c) {
    Value v = evaluate(Value(c.op0));
    if (v.kind() != Kind::Int) {
        value_drop_temp(v);
        raise_runtime(err::bit_not_not_int);
    }
    // A temporary is inverted where it stands.
    if ((*header_ptr(v) & 0xF0) == 0) {
        cell_as<IntCell>(v)->value = ~int_value(v);
        return v;
    }
    return make_int(~int_value(v));
}

// ---- typeof and instanceof ----------------------------------------------------------

namespace {

const char* type_name(Value v) {
    switch (v.kind()) {
    case Kind::Immediate:
        switch (v.payload()) {
        case kUndefined: return "undefined";
        case kTrue:
        case kFalse: return "boolean";
        case kNaN: return "symbol";
        default: return "object";
        }
    case Kind::Int:
    case Kind::Double: return "number";
    case Kind::String: return "string";
    case Kind::Function: return "function";
    case Kind::Hash: {
        uint32_t cls = cell_as<HashCell>(v)->class_symbol;
        return cls ? symbol_name(cls) : "object";
    }
    default: return "object";
    }
}

bool instance_of(Value v, uint32_t type) {
    if (type == SYM_Object) return true;
    switch (v.kind()) {
    case Kind::Int:
    case Kind::Double: return type == SYM_Number;
    case Kind::DbConnection: return type == SYM_Connection;
    case Kind::Date: return type == SYM_Date;
    case Kind::RegExp: return type == SYM_RegExp;
    case Kind::String: return type == SYM_String;
    case Kind::Array:
    case Kind::KeyedArray: return type == SYM_Array;
    case Kind::Hash: return type == SYM_Hash || (type == cell_as<HashCell>(v)->class_symbol && type != 0);
    case Kind::Function: return type == SYM_Function;
    default: return false;
    }
}

}  // namespace

Value h_typeof(const InstrCell& c) {
    TempGuard v(evaluate(Value(c.op0)));
    return make_string(type_name(v.get()));
}

Value h_instanceof(const InstrCell& c) {
    TempGuard v(evaluate(Value(c.op0)));
    return Value::boolean(instance_of(v.get(), Value(c.op1).payload() & 0x0FFFFFFF));
}

}  // namespace koru
