#include "interp/intpath.h"

#include "interp/variables.h"
#include "runtime/objects.h"
#include "runtime/symbols.h"

namespace koru {

namespace {

// What dispatch does before the handler runs: the position errors report.
inline void enter(const InstrCell& c) {
    g_errors.module = static_cast<uint8_t>(c.module_number());
    if (c.nops != InstrCell::kLargeCount) g_errors.position = c.position & 0x7FFFFFFF;
}

inline int32_t wrap(int64_t r) { return static_cast<int32_t>(static_cast<uint32_t>(r)); }

template <ArithOp op>
bool arith(const InstrCell& c, int32_t& out) {
    int32_t a, b;
    int64_t r;
    if (c.nops != 2 || !int_operand(Value(c.op0), a) || !int_operand(Value(c.op1), b) || !int_pair<op>(a, b, r))
        return false;
    out = wrap(r);
    return true;
}

// `name.property` or `name.length`: the member handler's look-ups, for the
// kinds whose member is read without making anything.
bool member(const InstrCell& c, int32_t& out) {
    if (c.nops != 2 || !Value(c.op0).is_symbol()) return false;
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

}  // namespace

bool int_operand(Value v, int32_t& out) {
    switch (v.kind()) {
    case Kind::Int:
        out = int_value(v);
        return true;
    case Kind::Immediate: {
        if (v.payload() <= kNaN) return false;
        Value x = lookup_variable(v.payload());
        if (x.kind() != Kind::Int) return false;
        out = int_value(x);
        return true;
    }
    case Kind::Instruction:
        return int_operand_instruction(v, out);
    default:
        return false;
    }
}

bool int_operand_instruction(Value v, int32_t& out) {
    const InstrCell& c = *cell_as<InstrCell>(v);
    if (!int_opcode(c.opcode)) return false;
    enter(c);
    return int_instruction_body(c, out);
}

bool int_instruction_body(const InstrCell& c, int32_t& out) {
    switch (static_cast<Op>(c.opcode)) {
    case Op::OP_ADD: {
        int32_t a, b;
        if (c.nops != 2 || !int_operand(Value(c.op0), a) || !int_operand(Value(c.op1), b)) return false;
        out = wrap(int64_t{a} + b);
        return true;
    }
    case Op::OP_SUB: return arith<ArithOp::Sub>(c, out);
    case Op::OP_MUL: return arith<ArithOp::Mul>(c, out);
    case Op::OP_DIV: return arith<ArithOp::Div>(c, out);
    case Op::OP_MOD: return arith<ArithOp::Mod>(c, out);
    case Op::OP_SEQUENCE: return c.nops == 1 && int_operand(Value(c.op0), out);
    case Op::OP_MEMBER: return member(c, out);
    default: return false;
    }
}

}  // namespace koru
