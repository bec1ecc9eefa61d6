// Conditionals, loops, switch, blocks, try/catch/finally, throw, break,
// continue, return and the Exception statement.
#include "interp/control.h"

#include <string>

#include "interp/handlers.h"
#include "interp/intpath.h"
#include "interp/opcodes.h"
#include "interp/operators.h"
#include "interp/support.h"
#include "interp/variables.h"
#include "runtime/limits.h"
#include "runtime/objects.h"
#include "runtime/symbols.h"

namespace koru {

uint32_t jump_target(Jump kind) {
    for (uint32_t i = g_jumps.size(); i-- > 1;) {
        JumpType t = g_jumps.types[i];
        switch (kind) {
        case Jump::Break:
            if (t == JumpType::Loop || t == JumpType::Try || t == JumpType::Switch) return i;
            break;
        case Jump::Continue:
            if (t == JumpType::Loop || t == JumpType::Try) return i;
            break;
        case Jump::Return:
            if (t == JumpType::Call || t == JumpType::Try) return i;
            break;
        case Jump::None:
            return 0;
        }
    }
    return 0;
}

namespace {

enum class Next { Go, Stop };

// After a loop body: a break or continue aimed at this loop is taken here;
// any other pending jump ends the loop and travels on.  Every back-edge
// passes here, so this is where an endless loop meets the request's limits.
Next after_body(uint32_t loop) {
    check_limits();
    if (!jump_pending()) return Next::Go;
    if (g_interp.jump_target == loop) {
        Jump j = g_interp.jump;
        if (j == Jump::Break || j == Jump::Continue) {
            clear_jump();
            return j == Jump::Break ? Next::Stop : Next::Go;
        }
    }
    return Next::Stop;
}

// A loop body that is a block runs here as its handler runs it, without a
// dispatch of its own (the debugger still sees it dispatched).
void exec_body(Value body) {
    if (body.kind() == Kind::Instruction && !debug_hooks_active()) {
        const InstrCell& c = *cell_as<InstrCell>(body);
        if (c.opcode == op_byte(Op::OP_BLOCK)) {
            enter_instruction(c);
            h_block(c);
            return;
        }
    }
    exec_statement(body);
}

[[gnu::always_inline]] inline void set_jump(Jump kind, uint32_t target, Value v) {
    if (jump_pending()) clear_jump();
    g_interp.jump = kind;
    g_interp.jump_target = target;
    g_interp.jump_value = value_retain(v);
}

}  // namespace

// ---- if, blocks, jumps -------------------------------------------------------------

Value h_if(const InstrCell& c) { return evaluate(if_branch(c)); }

Value h_block(const InstrCell& c) {
    ScopeGuard scope(true, true);
    exec_statements(operands(c), c.operand_count());
    return kUndefinedValue;
}

Value h_break(const InstrCell&) {
    uint32_t t = jump_target(Jump::Break);
    if (t == 0) raise_runtime(err::break_outside);
    set_jump(Jump::Break, t, kUndefinedValue);
    return kUndefinedValue;
}

Value h_continue(const InstrCell&) {
    uint32_t t = jump_target(Jump::Continue);
    if (t == 0) raise_runtime(err::continue_outside);
    set_jump(Jump::Continue, t, kUndefinedValue);
    return kUndefinedValue;
}

Value h_return(const InstrCell& c) {
    Value v = c.operand_count() > 0 ? evaluate(Value(c.op0)) : kReturnNoValue;
    // Inside a function the call's context is nearly always the innermost.
    uint32_t t = g_jumps.innermost() == JumpType::Call ? g_jumps.size() - 1 : jump_target(Jump::Return);
    if (t == 0) {
        value_drop_temp(v);
        raise_runtime(err::return_outside);
    }
    set_jump(Jump::Return, t, v);
    return kUndefinedValue;
}

Value h_throw(const InstrCell& c) {
    Value v = evaluate(Value(c.op0));
    Thrown t;
    t.value = value_retain(v);
    t.target = g_jumps.innermost_try();
    throw t;
}

// ---- loops ---------------------------------------------------------------------------

Value h_while(const InstrCell& c) {
    ScopeGuard scope(false, false);
    ContextGuard ctx(JumpType::Loop);
    LeafComparison cond = leaf_comparison(Value(c.op0));
    while (condition_holds(cond, Value(c.op0))) {
        exec_body(Value(c.op1));
        if (after_body(ctx.index()) == Next::Stop) break;
    }
    return kUndefinedValue;
}

Value h_do_while(const InstrCell& c) {
    ScopeGuard scope(false, false);
    ContextGuard ctx(JumpType::Loop);
    LeafComparison cond = leaf_comparison(Value(c.op1));
    do {
        exec_body(Value(c.op0));
        if (after_body(ctx.index()) == Next::Stop) break;
    } while (condition_holds(cond, Value(c.op1)));
    return kUndefinedValue;
}

Value h_for(const InstrCell& c) {
    if (c.operand_count() < 3) return kUndefinedValue;
    const uint32_t* ops = operands(c);
    const auto* list = static_cast<const uint32_t*>(area_ptr(AreaAddr{ops[0]}));
    uint32_t inits = ops[1] >> 16, steps = ops[1] & 0xFFFF;
    Value body(ops[2]);
    // The header's let names get a region of their own, shadowing outer ones.
    ScopeGuard scope(true, true);
    ContextGuard ctx(JumpType::Loop);
    for (uint32_t i = 0; i < inits; ++i) value_drop_temp(evaluate(Value(list[i])));
    Value cond(list[inits]);
    LeafComparison test = leaf_comparison(cond);
    while (condition_holds(test, cond)) {
        exec_body(body);
        if (after_body(ctx.index()) == Next::Stop) break;
        for (uint32_t i = 0; i < steps; ++i) value_drop_temp(evaluate_unused(Value(list[inits + 1 + i])));
    }
    return kUndefinedValue;
}

namespace {

enum class Walk { Of, In };

// The slot a for-of/for-in loop variable lives in.
Place loop_variable(uint32_t sym, uint32_t decl, Walk w) {
    InterpState& s = g_interp;
    Place p;
    if (decl != 2) {
        push_local(sym | (decl == 1 ? VarSlot::kConst : 0), kUndefinedValue);
        p.kind = PlaceKind::Local;
        p.index = s.top();
        return p;
    }
    if (s.frame_base != 0) {
        // A var of the running function: its declared locals, not its parameters.
        uint32_t first = s.frame_base + s.param_count, end = first + s.local_count;
        for (uint32_t i = first; i < end && i <= s.top(); ++i)
            if (s.locals[i].symbol() == sym) {
                p.kind = PlaceKind::Local;
                p.index = i;
                return p;
            }
    } else {
        // At the top level the compiler has declared the name in the global
        // list, which at run time is the global table: bind it when missing.
        int64_t g = global_find(sym);
        p.kind = PlaceKind::Global;
        p.index = g >= 0 ? static_cast<uint32_t>(g) : global_append(sym);
        return p;
    }
    if (w == Walk::Of) raise_runtime(err::for_of_bad);
    raise_runtime(err::for_in_bad);
}

uint32_t walk_count(Value coll, Walk w) {
    switch (coll.kind()) {
    case Kind::Array: return array_count(coll);
    case Kind::KeyedArray: return keyed_count(coll);
    case Kind::String:
        if (w == Walk::Of) return string_length(coll);
        break;
    case Kind::Hash:
        if (w == Walk::In) return hash_count(coll);
        break;
    default:
        break;
    }
    if (w == Walk::Of) raise_runtime(err::for_of_target_bad);
    raise_runtime(err::for_in_target_bad);
}

Value key_as_value(Value key) {
    if (key.kind() == Kind::Immediate) return make_string(symbol_name(key.payload()));
    return make_int(static_cast<int32_t>(key.low24()));
}

// Item i of the walk; the body may have shrunk the collection meanwhile.
Value walk_item(Value coll, uint32_t i, Walk w) {
    switch (coll.kind()) {
    case Kind::Array:
        if (w == Walk::In) return make_int(static_cast<int32_t>(i));
        return i < array_count(coll) ? array_elements(coll)[i] : kUndefinedValue;
    case Kind::KeyedArray:
        if (i >= keyed_count(coll)) return kUndefinedValue;
        return w == Walk::Of ? keyed_pairs(coll)[i].value : key_as_value(keyed_pairs(coll)[i].key);
    case Kind::String:
        return i < string_length(coll) ? make_string(string_text(coll) + i, 1) : kUndefinedValue;
    case Kind::Hash:
        return i < hash_count(coll) ? key_as_value(hash_pairs(coll)[i].key) : kUndefinedValue;
    default:
        return kUndefinedValue;
    }
}

Value for_walk(const InstrCell& c, Walk w) {
    if (c.operand_count() < 4) return kUndefinedValue;
    const uint32_t* ops = operands(c);
    uint32_t sym = Value(ops[0]).payload();
    ScopeGuard scope(true, true);
    Place var = loop_variable(sym, ops[3], w);
    Value coll = evaluate(Value(ops[1]));
    RetainGuard hold(coll);  // a temporary collection goes with the loop
    uint32_t n = walk_count(coll, w);
    ContextGuard ctx(JumpType::Loop);
    for (uint32_t i = 0; i < n; ++i) {
        TempGuard item(walk_item(coll, i, w));
        store_to_place(var, item.get());
        exec_body(Value(ops[2]));
        if (after_body(ctx.index()) == Next::Stop) break;
    }
    return kUndefinedValue;
}

}  // namespace

Value h_for_of(const InstrCell& c) { return for_walk(c, Walk::Of); }
Value h_for_in(const InstrCell& c) { return for_walk(c, Walk::In); }

// ---- switch --------------------------------------------------------------------------

namespace {

struct SwitchParts {
    Value discriminant;
    const uint32_t* table;   // pairs of words
    const uint32_t* statements;
    bool has_default;
};

SwitchParts switch_parts(const InstrCell& c) {
    // Four operands in a vector, or one operand naming the four-word block.
    const uint32_t* w = c.operand_count() == 1 ? static_cast<const uint32_t*>(area_ptr(AreaAddr{c.op0})) : operands(c);
    return {Value(w[0]), static_cast<const uint32_t*>(area_ptr(AreaAddr{w[1]})),
            static_cast<const uint32_t*>(area_ptr(AreaAddr{w[2]})), w[3] != 0};
}

}  // namespace

Value h_switch(const InstrCell& c) {
    if (c.operand_count() != 1 && c.operand_count() != 4) return kUndefinedValue;
    SwitchParts s = switch_parts(c);
    uint32_t pairs = s.table[0], count = s.table[1];
    ContextGuard ctx(JumpType::Switch);
    TempGuard d(evaluate(s.discriminant));
    uint32_t start = count;
    bool matched = false;
    for (uint32_t i = 2; i < pairs && !matched; ++i) {
        d.hold_across(Value(s.table[2 * i]));
        TempGuard label(evaluate(Value(s.table[2 * i])));
        if (strict_equal(d.get(), label.get())) {
            start = s.table[2 * i + 1];
            matched = true;
        }
    }
    if (!matched && s.has_default) start = s.table[3];
    if (start < count) exec_statements(s.statements + start, count - start);
    if (jump_pending() && g_interp.jump == Jump::Break && g_interp.jump_target == ctx.index()) clear_jump();
    return kUndefinedValue;
}

// ---- try ----------------------------------------------------------------------------

namespace {

// A pending jump set aside while a finally body runs.
struct SavedJump {
    Jump kind;
    Value value;
};

SavedJump set_aside() {
    SavedJump s{g_interp.jump, g_interp.jump_value};
    g_interp.jump = Jump::None;
    g_interp.jump_value = kUndefinedValue;
    return s;
}

// Runs the finally body with the pending jump set aside; a jump of the
// finally body's own wins over it.
void run_finally(Value fin, SavedJump& saved) {
    struct Restore {
        SavedJump& s;
        bool done = false;
        ~Restore() {
            if (!done && s.kind == Jump::Return) value_release(s.value);
        }
    } guard{saved};
    if (fin.bits != 0) exec_statement(fin);
    guard.done = true;
    if (jump_pending()) {
        if (saved.kind == Jump::Return) {
            value_unref(saved.value);
            value_drop_temp(saved.value);
        }
        return;
    }
    g_interp.jump = saved.kind;
    g_interp.jump_value = saved.value;
}

// A break, continue or return that reached the try goes on, after the
// finally body, to the target it would have had without the try.
void pass_jump_on() {
    if (!jump_pending()) return;
    uint32_t t = jump_target(g_interp.jump);
    if (t == 0) {
        clear_jump();
        raise_runtime(err::try_catch_bad);
    }
    g_interp.jump_target = t;
}

struct Caught {
    Value value;
    bool owned;  // a thrown value travels retained; an error object does not
};

void run_catch(const uint32_t* catch_rec, Caught got) {
    ScopeGuard scope(false, false);
    push_local(Value(catch_rec[0]).payload(), got.value);
    if (got.owned) value_release(got.value);  // the slot holds it now
    exec_statement(Value(catch_rec[1]));
}

}  // namespace

Value h_try(const InstrCell& c) {
    const uint32_t* ops = operands(c);
    uint32_t n = c.operand_count();
    Value body(ops[0]);
    const uint32_t* catch_rec = (n > 1 && ops[1]) ? static_cast<const uint32_t*>(area_ptr(AreaAddr{ops[1]})) : nullptr;
    Value fin(n > 2 ? ops[2] : 0);
    InterpState& s = g_interp;
    uint32_t frame = s.frame_base, params = s.param_count, locals = s.local_count;
    ContextGuard ctx(JumpType::Try);
    bool caught = false, owned = false;
    Unwind got{};
    {
        ScopeGuard scope(false, false);
        try {
            exec_statement(body);
        } catch (const Thrown& t) {
            if (t.target != ctx.index()) throw;
            got = t;
            caught = owned = true;
        } catch (const Unwind& u) {
            if (u.target != ctx.index()) throw;
            got = u;
            caught = true;
        }
    }
    ctx.pop();
    if (caught) {
        s.frame_base = frame;
        s.param_count = params;
        s.local_count = locals;
        g_errors.raised_by_error = false;
        if (!catch_rec) {
            // No catch part: the finally body runs and the value goes on to
            // the next enclosing try, or the driver.
            SavedJump none = set_aside();
            run_finally(fin, none);
            if (jump_pending()) {
                if (owned) value_release(got.value);
                return kUndefinedValue;
            }
            uint32_t next = g_jumps.innermost_try();
            if (owned) {
                Thrown t;
                t.value = got.value;
                t.target = next;
                throw t;
            }
            throw Unwind{got.value, next};
        }
        run_catch(catch_rec, Caught{got.value, owned});
    }
    SavedJump saved = set_aside();
    run_finally(fin, saved);
    pass_jump_on();
    return kUndefinedValue;
}

// ---- Exception ------------------------------------------------------------------------

Value make_exception_value(Value msg, const Value* code) {
    if (msg.kind() != Kind::String) raise_runtime(err::throw_bad);
    std::string_view m = string_view_of(msg);
    if (!code) return make_error_object(CodeType::None, "", 0, m.data(), m.size());
    Value k = *code;
    if (k.kind() == Kind::String) {
        std::string_view t = string_view_of(k);
        return make_error_object(CodeType::Text, t.data(), t.size(), m.data(), m.size());
    }
    if (k.kind() == Kind::Int) {
        std::string t = std::to_string(int_value(k));
        return make_error_object(CodeType::Integer, t.data(), t.size(), m.data(), m.size());
    }
    raise_runtime(err::throw_bad);
}

Value h_exception(const InstrCell& c) {
    uint32_t n = c.operand_count();
    if (n < 1) raise_runtime(err::throw_bad);
    const uint32_t* ops = operands(c);
    TempGuard msg(evaluate(Value(ops[0])));
    if (n < 2) return make_exception_value(msg.get(), nullptr);
    msg.hold_across(Value(ops[1]));
    TempGuard code(evaluate(Value(ops[1])));
    Value k = code.get();
    return make_exception_value(msg.get(), &k);
}

}  // namespace koru
