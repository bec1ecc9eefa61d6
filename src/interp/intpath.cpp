#include "interp/intpath.h"

#include "interp/variables.h"
#include "runtime/objects.h"
#include "runtime/symbols.h"

namespace koru {

namespace {

// The instructions of an expression in the order the handlers enter them;
// only the last one's position is written, once the expression has a value,
// as the handlers would have left it.  One that refuses leaves it to the
// ordinary evaluation, which enters the same instructions again.
struct Walk {
    const InstrCell* last = nullptr;
    bool done(bool ok) {
        if (ok) enter_instruction(*last);
        return ok;
    }
};

inline int32_t wrap(int64_t r) { return static_cast<int32_t>(static_cast<uint32_t>(r)); }

bool instruction(const InstrCell& c, int32_t& out, Walk& w);

// Constants and names are read here; only instructions cost a call.
// Brackets around one expression are entered on the way.
[[gnu::always_inline]] inline bool operand_inline(Value v, int32_t& out, Walk& w) {
    for (;;) {
        if (v.kind() == Kind::Int) {
            out = int_value(v);
            return true;
        }
        if (v.is_symbol()) {
            Value x = lookup_variable(v.payload());
            if (x.kind() != Kind::Int) return false;
            out = int_value(x);
            return true;
        }
        if (v.kind() != Kind::Instruction) return false;
        const InstrCell& c = *cell_as<InstrCell>(v);
        if (c.opcode != op_byte(Op::OP_SEQUENCE)) return instruction(c, out, w);
        if (c.nops != 1) return false;
        w.last = &c;
        v = Value(c.op0);
    }
}

template <Op op>
inline bool arith(int32_t a, int32_t b, int32_t& out) {
    int64_t r;
    switch (op) {
    case Op::OP_ADD: r = int64_t{a} + b; break;
    case Op::OP_SUB: r = int64_t{a} - b; break;
    case Op::OP_MUL:
        if (!int_pair<ArithOp::Mul>(a, b, r)) return false;
        break;
    case Op::OP_DIV:
        if (!int_pair<ArithOp::Div>(a, b, r)) return false;
        break;
    default:
        if (!int_pair<ArithOp::Mod>(a, b, r)) return false;
        break;
    }
    out = wrap(r);
    return true;
}

// `name.property` or `name.length`: the member handler's look-ups, for the
// kinds whose member is read without making anything.
bool member(const InstrCell& c, int32_t& out, Walk& w) {
    if (c.nops != 2 || !Value(c.op0).is_symbol()) return false;
    w.last = &c;
    Value obj = lookup_variable(Value(c.op0).payload());
    uint32_t name = Value(c.op1).payload();
    Kind k = obj.kind();
    if (name == SYM_length) {
        uint32_t n;
        switch (k) {
        case Kind::String: n = string_length(obj); break;
        case Kind::Array: n = array_count(obj); break;
        case Kind::KeyedArray: n = keyed_count(obj); break;
        case Kind::Hash: n = hash_count(obj); break;
        default: return false;
        }
        g_interp.place.kind = PlaceKind::None;
        g_interp.place_const = false;
        out = static_cast<int32_t>(n);
        return true;
    }
    if (k != Kind::Hash) return false;
    Value v = hash_property(obj, name, false);
    if (v.kind() != Kind::Int) return false;
    out = int_value(v);
    return true;
}

// An instruction as an integer: arithmetic, brackets or a member.
bool instruction(const InstrCell& c, int32_t& out, Walk& w) {
    uint8_t op = c.opcode;
    if (op == op_byte(Op::OP_MEMBER)) return member(c, out, w);
    if (op == op_byte(Op::OP_SEQUENCE)) return c.nops == 1 && (w.last = &c, operand_inline(Value(c.op0), out, w));
    if (op < op_byte(Op::OP_ADD) || op > op_byte(Op::OP_MOD) || c.nops != 2) return false;
    w.last = &c;
    int32_t a, b;
    if (!operand_inline(Value(c.op0), a, w) || !operand_inline(Value(c.op1), b, w)) return false;
    switch (static_cast<Op>(op)) {
    case Op::OP_ADD: return arith<Op::OP_ADD>(a, b, out);
    case Op::OP_SUB: return arith<Op::OP_SUB>(a, b, out);
    case Op::OP_MUL: return arith<Op::OP_MUL>(a, b, out);
    case Op::OP_DIV: return arith<Op::OP_DIV>(a, b, out);
    default: return arith<Op::OP_MOD>(a, b, out);
    }
}

bool comparison(const InstrCell& c, bool& out, Walk& w) {
    int32_t a, b;
    w.last = &c;
    if (c.nops != 2 || !operand_inline(Value(c.op0), a, w) || !operand_inline(Value(c.op1), b, w)) return false;
    switch (static_cast<Op>(c.opcode)) {
    case Op::OP_EQ:
    case Op::OP_STRICT_EQ: out = a == b; return true;
    case Op::OP_NE:
    case Op::OP_STRICT_NE: out = a != b; return true;
    case Op::OP_GE: out = a >= b; return true;
    case Op::OP_GT: out = a > b; return true;
    case Op::OP_LE: out = a <= b; return true;
    case Op::OP_LT: out = a < b; return true;
    default: return false;
    }
}

}  // namespace

bool int_operand(Value v, int32_t& out) {
    Walk w;
    if (!operand_inline(v, out, w)) return false;
    if (w.last) enter_instruction(*w.last);
    return true;
}

bool int_comparison(const InstrCell& c, bool& out) {
    Walk w;
    return w.done(comparison(c, out, w));
}

bool int_condition(Value v, bool& out) {
    if (v.kind() != Kind::Instruction || !int_path_open()) return false;
    const InstrCell& c = *cell_as<InstrCell>(v);
    if (c.opcode < op_byte(Op::OP_EQ) || c.opcode > op_byte(Op::OP_LT)) return false;
    Walk w;
    return w.done(comparison(c, out, w));
}

bool int_operand_instruction(Value v, int32_t& out) {
    Walk w;
    return w.done(instruction(*cell_as<InstrCell>(v), out, w));
}

bool int_instruction_body(const InstrCell& c, int32_t& out) {
    Walk w;
    return w.done(instruction(c, out, w));
}

}  // namespace koru
