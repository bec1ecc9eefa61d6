#include "interp/intpath.h"

#include <array>
#include <memory>
#include <vector>

#include "interp/variables.h"
#include "runtime/objects.h"
#include "runtime/refcount.h"
#include "runtime/symbols.h"

namespace koru {

namespace {

// ---- programs -------------------------------------------------------------------
//
// An integer expression is turned, the first time it runs, into a short
// program of steps in the order the handlers take them: the operands, left
// to right, then the operation.  Running the program makes the same
// look-ups and checks as the handlers, from a flat array instead of the
// tree of cells, and makes no cells.

enum class IntOp : uint8_t { Const, Name, Member, Length, Add, Sub, Mul, Div, Mod, Eq, Ne, Ge, Gt, Le, Lt };

// The step of an operation's opcode (arithmetic or comparison), by opcode
// byte: one look-up on the hot path.
constexpr std::array<IntOp, 256> make_binary_ops() {
    std::array<IntOp, 256> t{};
    t.fill(IntOp::Lt);
    t[op_byte(Op::OP_ADD)] = IntOp::Add;
    t[op_byte(Op::OP_SUB)] = IntOp::Sub;
    t[op_byte(Op::OP_MUL)] = IntOp::Mul;
    t[op_byte(Op::OP_DIV)] = IntOp::Div;
    t[op_byte(Op::OP_MOD)] = IntOp::Mod;
    t[op_byte(Op::OP_EQ)] = t[op_byte(Op::OP_STRICT_EQ)] = IntOp::Eq;
    t[op_byte(Op::OP_NE)] = t[op_byte(Op::OP_STRICT_NE)] = IntOp::Ne;
    t[op_byte(Op::OP_GE)] = IntOp::Ge;
    t[op_byte(Op::OP_GT)] = IntOp::Gt;
    t[op_byte(Op::OP_LE)] = IntOp::Le;
    return t;
}
constexpr std::array<IntOp, 256> kBinaryOps = make_binary_ops();
inline IntOp binary_op(uint8_t opcode) { return kBinaryOps[opcode]; }

struct IntStep {
    IntOp op;
    uint32_t a;  // the constant, or the symbol of the name
    uint32_t b;  // the property's symbol
};

constexpr unsigned kMaxSteps = 64;   // longer expressions take the ordinary way
constexpr unsigned kMaxDepth = 32;
constexpr uint16_t kMaxMisses = 64;  // refusals in a row before a program is given up

struct Program {
    const InstrCell* cell = nullptr;  // the key: null for an empty slot
    std::unique_ptr<IntStep[]> steps; // null: no integer expression (or given up)
    uint16_t count = 0;
    uint16_t misses = 0;
    bool truth = false;               // a comparison: the result is 0 or 1
    const InstrCell* last = nullptr;  // the last instruction the handlers would enter
};

// The slot of a cell that was freed stays taken until the table is rebuilt.
const InstrCell* const kGone = reinterpret_cast<const InstrCell*>(alignof(InstrCell));

class Compiler {
public:
    void compile(const InstrCell& c, Program& p) {
        uint8_t op = c.opcode;
        if (op >= op_byte(Op::OP_EQ) && op <= op_byte(Op::OP_LT)) {
            p.truth = true;
            binary(c, binary_op(op), 0);
        } else {
            instruction(c, 0);
        }
        if (!ok_ || n_ == 0) return;
        p.steps.reset(new IntStep[n_]);
        for (unsigned i = 0; i < n_; ++i) p.steps[i] = steps_[i];
        p.count = static_cast<uint16_t>(n_);
        p.last = last_;
    }

private:
    void emit(IntOp op, uint32_t a = 0, uint32_t b = 0) {
        if (n_ == kMaxSteps) {
            ok_ = false;
            return;
        }
        steps_[n_++] = IntStep{op, a, b};
    }

    void binary(const InstrCell& c, IntOp op, unsigned depth) {
        if (c.nops != 2) {
            ok_ = false;
            return;
        }
        last_ = &c;
        operand(Value(c.op0), depth + 1);
        operand(Value(c.op1), depth + 1);
        emit(op);
    }

    void instruction(const InstrCell& c, unsigned depth) {
        switch (static_cast<Op>(c.opcode)) {
        case Op::OP_ADD:
        case Op::OP_SUB:
        case Op::OP_MUL:
        case Op::OP_DIV:
        case Op::OP_MOD: binary(c, binary_op(c.opcode), depth); return;
        case Op::OP_SEQUENCE:
            // Brackets around one expression.
            if (c.nops != 1) break;
            last_ = &c;
            operand(Value(c.op0), depth + 1);
            return;
        case Op::OP_MEMBER: {
            // `name.property` or `name.length`.
            if (c.nops != 2 || !Value(c.op0).is_symbol()) break;
            last_ = &c;
            uint32_t name = Value(c.op1).payload();
            emit(name == SYM_length ? IntOp::Length : IntOp::Member, Value(c.op0).payload(), name);
            return;
        }
        default:
            break;
        }
        ok_ = false;
    }

    void operand(Value v, unsigned depth) {
        if (!ok_ || depth > kMaxDepth) {
            ok_ = false;
            return;
        }
        switch (v.kind()) {
        case Kind::Int:
            // A constant of the code: only its instruction holds its cell,
            // so nothing ever changes it in place.
            emit(IntOp::Const, static_cast<uint32_t>(int_value(v)));
            return;
        case Kind::Immediate:
            if (v.payload() > kNaN) {
                emit(IntOp::Name, v.payload());
                return;
            }
            break;
        case Kind::Instruction:
            instruction(*cell_as<InstrCell>(v), depth);
            return;
        default:
            break;
        }
        ok_ = false;
    }

    IntStep steps_[kMaxSteps];
    unsigned n_ = 0;
    bool ok_ = true;
    const InstrCell* last_ = nullptr;
};

// ---- the table of programs, by instruction cell ------------------------------------------

class Programs {
public:
    // The program of an instruction, made on first use.  Cells are only
    // known within one memory generation: after a reset their addresses
    // mean nothing.
    Program& of(const InstrCell& c) {
        if (generation_ != g_memory_generation) [[unlikely]]
            restart();
        size_t mask = slots_.size() - 1;
        for (size_t i = hash(&c, mask);; i = (i + 1) & mask) {
            Program& p = slots_[i];
            if (p.cell == &c) return p;
            if (!p.cell) break;
        }
        Program& p = insert(&c);
        Compiler().compile(c, p);
        return p;
    }

    void forget(const InstrCell* c) {
        if (generation_ != g_memory_generation) return;  // a reset took the cells and the table is stale
        size_t mask = slots_.size() - 1;
        for (size_t i = hash(c, mask);; i = (i + 1) & mask) {
            Program& p = slots_[i];
            if (!p.cell) return;
            if (p.cell == c) {
                p.cell = kGone;
                p.steps.reset();
                return;
            }
        }
    }

private:
    static size_t hash(const InstrCell* c, size_t mask) {
        uint64_t p = reinterpret_cast<uintptr_t>(c) >> 4;
        return static_cast<size_t>((p * 0x9E3779B97F4A7C15ull) >> 40) & mask;
    }

    void restart();

    Program& insert(const InstrCell* c) {
        if ((taken_ + 1) * 2 > slots_.size()) rebuild();
        size_t mask = slots_.size() - 1;
        size_t i = hash(c, mask);
        while (slots_[i].cell) i = (i + 1) & mask;
        ++taken_;
        slots_[i].cell = c;
        return slots_[i];
    }

    // Drops the slots of freed cells and makes room for as many again.
    void rebuild() {
        std::vector<Program> old;
        old.swap(slots_);
        size_t live = 0;
        for (const Program& p : old) live += p.cell && p.cell != kGone;
        size_t size = 64;
        while (size < (live + 1) * 4) size *= 2;
        slots_.resize(size);
        taken_ = 0;
        size_t mask = size - 1;
        for (Program& p : old) {
            if (!p.cell || p.cell == kGone) continue;
            size_t i = hash(p.cell, mask);
            while (slots_[i].cell) i = (i + 1) & mask;
            slots_[i] = std::move(p);
            ++taken_;
        }
    }

    std::vector<Program> slots_ = std::vector<Program>(1);  // a power of two, at most half taken
    size_t taken_ = 1;                                      // programs and freed cells (a full table
                                                            // until the first restart)
    uint32_t generation_ = ~0u;
};

Programs g_programs;

void Programs::restart() {
    slots_.clear();
    slots_.resize(64);
    taken_ = 0;
    generation_ = g_memory_generation;
}

// ---- running -------------------------------------------------------------------------

inline int32_t wrap(int64_t r) { return static_cast<int32_t>(static_cast<uint32_t>(r)); }

// The member handler's look-ups, for the kinds whose member is read without
// making anything.
bool member(uint32_t object, uint32_t name, int32_t& out) {
    Value obj = lookup_variable(object);
    if (obj.kind() != Kind::Hash) return false;
    Value v = hash_property(obj, name, false);
    if (v.kind() != Kind::Int) return false;
    out = int_value(v);
    return true;
}

bool length(uint32_t object, int32_t& out) {
    Value obj = lookup_variable(object);
    uint32_t n;
    switch (obj.kind()) {
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

// An operation on two integers, as its handler computes it: false for a
// divisor of 0 or a product past 2^53.
[[gnu::always_inline]] inline bool apply(IntOp op, int32_t a, int32_t b, int32_t& out) {
    int64_t r;
    switch (op) {
    case IntOp::Add: r = int64_t{a} + b; break;
    case IntOp::Sub: r = int64_t{a} - b; break;
    case IntOp::Mul:
        if (!int_pair<ArithOp::Mul>(a, b, r)) return false;
        break;
    case IntOp::Div:
        if (!int_pair<ArithOp::Div>(a, b, r)) return false;
        break;
    case IntOp::Mod:
        if (!int_pair<ArithOp::Mod>(a, b, r)) return false;
        break;
    case IntOp::Eq: r = a == b; break;
    case IntOp::Ne: r = a != b; break;
    case IntOp::Ge: r = a >= b; break;
    case IntOp::Gt: r = a > b; break;
    case IntOp::Le: r = a <= b; break;
    default: r = a < b; break;
    }
    out = wrap(r);
    return true;
}

// The operation on the two values on top of the stack, in their place
// (each step its own case, so that the operation is known at compile time).
template <IntOp op>
[[gnu::always_inline]] inline bool pop_apply(int32_t*& top) {
    if (!apply(op, top[-2], top[-1], top[-2])) return false;
    --top;
    return true;
}

// A computed expression leaves the position of the last instruction the
// handlers would have entered; one that refuses leaves it to the ordinary
// evaluation, which enters the same instructions again.
bool execute(const Program& p, int32_t& out) {
    int32_t stack[kMaxSteps];
    int32_t* top = stack;  // one past the last value
    for (const IntStep *s = p.steps.get(), *end = s + p.count; s != end; ++s) {
        switch (s->op) {
        case IntOp::Const: *top++ = static_cast<int32_t>(s->a); break;
        case IntOp::Name: {
            Value x = lookup_variable(s->a);
            if (x.kind() != Kind::Int) return false;
            *top++ = int_value(x);
            break;
        }
        case IntOp::Member:
            if (!member(s->a, s->b, *top)) return false;
            ++top;
            break;
        case IntOp::Length:
            if (!length(s->a, *top)) return false;
            ++top;
            break;
        case IntOp::Add: if (!pop_apply<IntOp::Add>(top)) return false; break;
        case IntOp::Sub: if (!pop_apply<IntOp::Sub>(top)) return false; break;
        case IntOp::Mul: if (!pop_apply<IntOp::Mul>(top)) return false; break;
        case IntOp::Div: if (!pop_apply<IntOp::Div>(top)) return false; break;
        case IntOp::Mod: if (!pop_apply<IntOp::Mod>(top)) return false; break;
        case IntOp::Eq: if (!pop_apply<IntOp::Eq>(top)) return false; break;
        case IntOp::Ne: if (!pop_apply<IntOp::Ne>(top)) return false; break;
        case IntOp::Ge: if (!pop_apply<IntOp::Ge>(top)) return false; break;
        case IntOp::Gt: if (!pop_apply<IntOp::Gt>(top)) return false; break;
        case IntOp::Le: if (!pop_apply<IntOp::Le>(top)) return false; break;
        case IntOp::Lt: if (!pop_apply<IntOp::Lt>(top)) return false; break;
        }
    }
    out = stack[0];
    enter_instruction(*p.last);
    return true;
}

// `name.property` or `name.length`.
inline bool is_member(const InstrCell& m) {
    return m.opcode == op_byte(Op::OP_MEMBER) && m.nops == 2 && Value(m.op0).is_symbol();
}

// What an operand of an operation is to the integer path: a leaf (a
// constant, a name, a member of a name), a tree of further operations, or
// nothing it can compute (a text, a Double, a literal, a call).
enum class Shape : uint8_t { None, Leaf, Tree };

inline Shape shape(Value v) {
    if (v.kind() == Kind::Int || v.is_symbol()) return Shape::Leaf;
    if (v.kind() != Kind::Instruction) return Shape::None;
    const InstrCell& c = *cell_as<InstrCell>(v);
    if (is_member(c)) return Shape::Leaf;
    uint8_t op = c.opcode;
    bool tree = (op >= op_byte(Op::OP_ADD) && op <= op_byte(Op::OP_MOD)) || op == op_byte(Op::OP_SEQUENCE);
    return tree ? Shape::Tree : Shape::None;
}

// A leaf as an integer; a member is entered as the handlers enter it.
[[gnu::always_inline]] inline bool leaf(Value v, int32_t& out, const InstrCell*& last) {
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
    const InstrCell& m = *cell_as<InstrCell>(v);
    last = &m;
    uint32_t name = Value(m.op1).payload();
    return name == SYM_length ? length(Value(m.op0).payload(), out) : member(Value(m.op0).payload(), name, out);
}

// An operation on two leaves, the most frequent expression, needs no
// program: `c`'s opcode is an arithmetic or comparison one.
[[gnu::always_inline]] inline bool leaf_pair(const InstrCell& c, int32_t& out) {
    int32_t a, b;
    const InstrCell* last = &c;
    if (!leaf(Value(c.op0), a, last) || !leaf(Value(c.op1), b, last)) return false;
    if (!apply(binary_op(c.opcode), a, b, out)) return false;
    enter_instruction(*last);
    return true;
}

// `truth`: a comparison, else arithmetic.
template <bool truth>
[[gnu::always_inline]] inline bool run_pair(const InstrCell& c, int32_t& out) {
    uint8_t op = c.opcode;
    if (truth ? op < op_byte(Op::OP_EQ) || op > op_byte(Op::OP_LT) : op < op_byte(Op::OP_ADD) || op > op_byte(Op::OP_MOD))
        return false;
    return leaf_pair(c, out);
}

// Runs the program of `c` when it computes what the caller wants (a number
// or a truth value).  A program that keeps refusing is given up.
[[gnu::noinline]] bool run_program(const InstrCell& c, bool truth, int32_t& out) {
    Program& p = g_programs.of(c);
    if (!p.steps || p.truth != truth) return false;
    if (execute(p, out)) [[likely]] {
        p.misses = 0;
        return true;
    }
    if (++p.misses >= kMaxMisses) p.steps.reset();
    return false;
}

template <bool truth>
inline bool run(const InstrCell& c, int32_t& out) {
    if (c.nops == 2) {
        Shape a = shape(Value(c.op0));
        if (a == Shape::None) return false;
        Shape b = shape(Value(c.op1));
        if (b == Shape::None) return false;
        if (a == Shape::Leaf && b == Shape::Leaf) return run_pair<truth>(c, out);
    }
    return run_program(c, truth, out);
}

}  // namespace

bool int_operand_instruction(Value v, int32_t& out) { return run<false>(*cell_as<InstrCell>(v), out); }

bool int_instruction_body(const InstrCell& c, int32_t& out) { return run<false>(c, out); }

bool int_comparison(const InstrCell& c, bool& out) {
    int32_t r;
    if (!run<true>(c, r)) return false;
    out = r != 0;
    return true;
}

bool int_condition(Value v, bool& out) {
    if (v.kind() != Kind::Instruction || !int_path_open()) return false;
    const InstrCell& c = *cell_as<InstrCell>(v);
    if (c.opcode < op_byte(Op::OP_EQ) || c.opcode > op_byte(Op::OP_LT)) return false;
    return int_comparison(c, out);
}

LeafComparison leaf_comparison(Value cond) {
    LeafComparison lc;
    if (cond.kind() != Kind::Instruction || g_plain_paths) return lc;
    const InstrCell& c = *cell_as<InstrCell>(cond);
    if (c.opcode < op_byte(Op::OP_EQ) || c.opcode > op_byte(Op::OP_LT) || c.nops != 2) return lc;
    const Value ops[2] = {Value(c.op0), Value(c.op1)};
    if (shape(ops[0]) != Shape::Leaf || shape(ops[1]) != Shape::Leaf) return lc;
    lc.cell = &c;
    lc.plain = true;
    for (int k = 0; k < 2; ++k) {
        if (ops[k].is_symbol()) {
            lc.name[k] = true;
            lc.word[k] = ops[k].payload();
        } else if (ops[k].kind() == Kind::Int) {
            // A constant of the code keeps its number while its instruction runs.
            lc.word[k] = static_cast<uint32_t>(int_value(ops[k]));
        } else {
            lc.plain = false;
        }
    }
    return lc;
}

namespace {

[[gnu::always_inline]] inline bool plain_number(const LeafComparison& lc, int k, int32_t& out) {
    if (!lc.name[k]) {
        out = static_cast<int32_t>(lc.word[k]);
        return true;
    }
    Value x = lookup_variable(lc.word[k]);
    if (x.kind() != Kind::Int) return false;
    out = int_value(x);
    return true;
}

}  // namespace

bool leaf_comparison_test(const LeafComparison& lc, bool& out) {
    if (!int_path_open()) return false;
    int32_t r = 0;
    if (lc.plain) {
        // The pair path's steps for two names or constants.
        int32_t a, b;
        if (!plain_number(lc, 0, a) || !plain_number(lc, 1, b)) return false;
        apply(binary_op(lc.cell->opcode), a, b, r);  // a comparison always computes
        enter_instruction(*lc.cell);
    } else if (!leaf_pair(*lc.cell, r)) {
        return false;
    }
    out = r != 0;
    return true;
}

void int_path_instruction_freed(const void* cell) { g_programs.forget(static_cast<const InstrCell*>(cell)); }

}  // namespace koru
