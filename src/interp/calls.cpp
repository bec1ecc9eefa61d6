// Calls of script functions and built-in methods, new, Array(...) and
// Hash(...).
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "builtins/method_table.h"
#include "db/front/records.h"
#include "host/errors.h"
#include "host/journal.h"
#include "interp/control.h"
#include "interp/globalfns.h"
#include "interp/handlers.h"
#include "interp/intpath.h"
#include "interp/jumps.h"
#include "interp/methods.h"
#include "interp/opcodes.h"
#include "interp/support.h"
#include "interp/variables.h"
#include "runtime/limits.h"
#include "runtime/objects.h"
#include "runtime/symbols.h"
#include "runtime/text.h"

namespace koru {

namespace {

MethodFn g_families[static_cast<size_t>(MethodFamily::Count)] = {};
// Each family's unknown-name error, registered with its handler; a family
// that was never registered has the generic one.
err::Plain g_family_errors[static_cast<size_t>(MethodFamily::Count)] = {
    err::function_method_unknown, err::function_method_unknown, err::function_method_unknown,
    err::function_method_unknown, err::function_method_unknown, err::function_method_unknown,
    err::function_method_unknown, err::function_method_unknown, err::function_method_unknown,
    err::function_method_unknown, err::function_method_unknown,
};
static_assert(sizeof g_family_errors / sizeof g_family_errors[0] == static_cast<size_t>(MethodFamily::Count));

// Evaluated arguments, dropped when the call is done (or an error passes).
class ArgList : public ValueList {
public:
    void evaluate_all(const ArgRecord& rec) {
        for (uint32_t i = 0; i < rec.count; ++i) evaluate_push(Value(rec.args[i]));
    }
    const Value* data() const { return values.data(); }
    uint32_t size() const { return static_cast<uint32_t>(values.size()); }
    Value at(uint32_t i) const { return i < values.size() ? values[i] : kUndefinedValue; }
};

// A result that may be one of the arguments must outlive their drop.
Value outlive(Value result, ArgList& args) {
    value_retain(result);
    args.clear();
    value_lower(result);
    return result;
}

}  // namespace

void set_method_family(MethodFamily f, MethodFn fn, err::Plain unknown) {
    g_families[static_cast<size_t>(f)] = fn;
    g_family_errors[static_cast<size_t>(f)] = unknown;
}
void set_method_family(MethodFamily f, MethodFn fn) { g_families[static_cast<size_t>(f)] = fn; }

// ---- script function calls ------------------------------------------------------------

namespace {

// Where the arguments of a script call come from: expressions evaluated in
// the caller's scope (only as many as there are parameters), or values.
struct CallArgs {
    const uint32_t* exprs = nullptr;
    const Value* values = nullptr;
    uint32_t count = 0;
};

// The parameter values, evaluated in the caller's scope and retained until
// their slots take them over.  Values not handed over yet (an argument or a
// default expression failed) are released when the call is abandoned.
class ParamValues {
public:
    explicit ParamValues(uint32_t n) {
        if (n > kInline) [[unlikely]] {
            more_.reset(new uint32_t[n]);
            v_ = more_.get();
        }
    }
    ~ParamValues() {
        for (uint32_t i = taken_; i < n_; ++i) value_release(Value(v_[i]));
    }
    ParamValues(const ParamValues&) = delete;
    ParamValues& operator=(const ParamValues&) = delete;
    void add(Value v) { v_[n_++] = value_retain(v).bits; }
    // Hands the next value and its reference over (to its slot).
    Value take() { return Value(v_[taken_++]); }

private:
    static constexpr uint32_t kInline = 8;
    uint32_t inline_[kInline];  // left unwritten: only the first n_ are read
    uint32_t* v_ = inline_;
    std::unique_ptr<uint32_t[]> more_;
    uint32_t n_ = 0, taken_ = 0;
};

// Everything a call changes in the interpreter's state: the frame (base and
// counts), the scope positions, the jump-context count and the call depth
// (the nesting it shares with eval, see state.h).  A call is also where a
// recursion that passed a request's limit is stopped.
// (Every caller has look-ups in read mode already.)  All are saved when the call starts and put back when it
// ends, normally or by an unwinding error; the locals above the caller's
// top are popped then.
class CallFrame {
public:
    CallFrame(Value fn, uint32_t name) {
        check_limits();
        if (g_interp.call_depth >= kMaxCallDepth) raise_too_deep();
        hooks_ = g_hooks.call_enter != nullptr;
        if (hooks_) g_hooks.call_enter(fn, name);
        ++g_interp.call_depth;
        InterpState& s = g_interp;
        top_ = s.top();
        frame_base_ = s.frame_base;
        param_count_ = s.param_count;
        local_count_ = s.local_count;
        block_base_ = s.block_base;
        scope_depth_ = s.scope_depth;
        jumps_ = g_jumps.size();
        ++s.scope_depth;
        s.block_base = top_ + 1;
    }
    ~CallFrame() {
        InterpState& s = g_interp;
        g_jumps.restore(jumps_);
        pop_locals(top_);
        s.block_base = block_base_;
        s.scope_depth = scope_depth_;
        s.frame_base = frame_base_;
        s.param_count = param_count_;
        s.local_count = local_count_;
        if (hooks_ && g_hooks.call_exit) g_hooks.call_exit(result_);
        leave_nesting();
    }
    CallFrame(const CallFrame&) = delete;
    CallFrame& operator=(const CallFrame&) = delete;
    // The value the call returns, for the exit hook.
    void returns(Value v) { result_ = v; }

private:
    uint32_t top_, frame_base_, param_count_, local_count_, block_base_, scope_depth_, jumps_;
    bool hooks_;
    Value result_ = kUndefinedValue;
};

// A parameter word: a symbol, or an assignment cell (symbol, default).
uint32_t param_symbol(Value w, Value* default_expr) {
    *default_expr = kUndefinedValue;
    if (w.kind() == Kind::Instruction) {
        const InstrCell& c = *cell_as<InstrCell>(w);
        *default_expr = Value(c.op1);
        return Value(c.op0).payload();
    }
    return w.payload();
}

// Pushes the parameter slots (a default expression is evaluated in the new
// frame, so it sees the parameters before it) and the local slots.
[[gnu::always_inline]] inline void push_frame(const FunctionCell& f, ParamValues& params) {
    uint32_t pc = f.param_count, lc = f.local_count;
    if (pc + lc == 0) return;
    reserve_locals(pc + lc);
    const auto* names = static_cast<const uint32_t*>(area_ptr(f.names));
    for (uint32_t i = 0; i < pc; ++i) {
        Value w(names[i]);
        Value v = params.take();
        if (w.kind() != Kind::Instruction) [[likely]] {
            push_local_owned(w.payload(), v);
            continue;
        }
        Value def;
        uint32_t sym = param_symbol(w, &def);
        if (v.is_undefined() && def.bits != 0) {
            TempGuard d(evaluate(def));
            push_local(sym, d.get());
        } else {
            push_local_owned(sym, v);
        }
    }
    for (uint32_t i = 0; i < lc; ++i) push_local(Value(names[pc + i]).payload(), kUndefinedValue);
}

// Runs a function body.  A block body, the usual case, is run here as its
// handler would run it (the position recorded, the scope raised, the block
// base above the parameters and locals, the statements until one leaves a
// pending jump), without a dispatch and a scope of its own: the call's
// frame restores the scope positions and pops the block's locals with its
// own.  With a step hook set every instruction goes through dispatch.
//
// A `return` that is a statement of the body block itself, or the branch
// taken by an `if` that is one, the usual ways a function ends, needs no
// pending jump: its value goes to the call straight away (`returned`,
// retained as the jump would hold it; the word for no value when it has
// none).  Each instruction is entered as dispatch enters it.

enum class BodyStep { Next, Returned, ReturnedInt, Pending };

// The value of a return statement, for the call.  A break or continue that
// escapes from a call in the expression leaves its jump pending.
// `as_int` set (a caller that reads only a number): a returned integer
// expression is computed there without a cell, with the integer path's
// look-ups and position.
[[gnu::always_inline]] inline BodyStep direct_return(const InstrCell& r, Value& returned, int32_t* as_int) {
    enter_instruction(r);
    if (r.operand_count() == 0) {
        returned = kReturnNoValue;
        return BodyStep::Returned;
    }
    if (as_int && Value(r.op0).kind() == Kind::Instruction && int_path_open() &&
        int_operand_instruction(Value(r.op0), *as_int))
        return BodyStep::ReturnedInt;
    try {
        returned = value_retain(evaluate(Value(r.op0)));
    } catch (const JumpEscape&) {
        return BodyStep::Pending;
    }
    return BodyStep::Returned;
}

inline bool is_return(Value v) {
    return v.kind() == Kind::Instruction && cell_as<InstrCell>(v)->opcode == op_byte(Op::OP_RETURN) &&
           !debug_hooks_active();
}

// An if statement as its handler and the statement around it run it, with
// a branch that is a return statement handed to the call.
BodyStep if_statement(const InstrCell& c, Value& returned, int32_t* as_int) {
    enter_instruction(c);
    try {
        Value branch = if_branch(c);
        if (is_return(branch)) return direct_return(*cell_as<InstrCell>(branch), returned, as_int);
        value_drop_temp(evaluate(branch));
    } catch (const JumpEscape&) {
    }
    return jump_pending() ? BodyStep::Pending : BodyStep::Next;
}

// Returned (or ReturnedInt) when a return statement handed its value over;
// Next when the body ran to its end, Pending when it left a pending jump.
[[gnu::flatten]] BodyStep run_body(Value body, Value& returned, int32_t* as_int) {
    if (body.kind() == Kind::Instruction) {
        const InstrCell& c = *cell_as<InstrCell>(body);
        if (c.opcode == op_byte(Op::OP_BLOCK) && !debug_hooks_active()) [[likely]] {
            enter_instruction(c);
            InterpState& s = g_interp;
            ++s.scope_depth;
            s.block_base = s.top() + 1;
            const uint32_t* list = operands(c);
            for (uint32_t i = 0, n = c.operand_count(); i < n; ++i) {
                Value st(list[i]);
                if (st.kind() == Kind::Instruction && !g_plain_paths && !debug_hooks_active()) {
                    const InstrCell& r = *cell_as<InstrCell>(st);
                    bool ret = r.opcode == op_byte(Op::OP_RETURN);
                    if (ret || r.opcode == op_byte(Op::OP_IF)) {
                        BodyStep step = ret ? direct_return(r, returned, as_int) : if_statement(r, returned, as_int);
                        if (step == BodyStep::Next) continue;
                        return step;
                    }
                }
                exec_statement(st);
                if (jump_pending()) return BodyStep::Pending;
            }
            return BodyStep::Next;
        }
    }
    exec_statement(body);
    return jump_pending() ? BodyStep::Pending : BodyStep::Next;
}

// Runs a script function.  With `construct_class` a `this` slot holding a
// new Hash follows the locals and the result is built as for new.  With
// `as_int` set (never for new), a returned integer expression gives its
// number there, sets `*took_int` and the call returns kUndefinedValue.
[[gnu::always_inline]] inline Value call_script(Value fn, uint32_t name, const CallArgs& args,
                                                uint32_t construct_class, int32_t* as_int = nullptr,
                                                bool* took_int = nullptr) {
    const FunctionCell& f = *cell_as<FunctionCell>(fn);
    uint32_t pc = f.param_count;
    ParamValues params(pc);
    uint32_t given = pc < args.count ? pc : args.count;
    if (args.exprs) {
        // Once retained, a temporary argument is the parameter's alone: it
        // needs no guard of its own.
        for (uint32_t i = 0; i < given; ++i) params.add(evaluate(Value(args.exprs[i])));
    } else {
        for (uint32_t i = 0; i < given; ++i) params.add(args.values[i]);
    }
    for (uint32_t i = given; i < pc; ++i) params.add(kUndefinedValue);

    Value result = kUndefinedValue;  // retained once more than its owners account for
    bool escaped = false;            // a break or continue left for the caller's loop
    {
        CallFrame frame(fn, name);
        InterpState& s = g_interp;
        s.frame_base = s.top() + 1;
        s.param_count = pc;
        s.local_count = f.local_count;
        push_frame(f, params);
        Value self = kUndefinedValue;
        if (construct_class) {
            self = make_hash(0);
            push_local(SYM_this, self);
        }
        uint32_t context = g_jumps.push(JumpType::Call);
        Value direct;
        bool no_value = true;  // fell off the end, or returned without a value
        BodyStep step = run_body(Value(f.body), direct, as_int);
        if (step == BodyStep::Returned) [[likely]] {
            if (direct != kReturnNoValue) {
                result = direct;
                no_value = false;
            }
        } else if (step == BodyStep::ReturnedInt) {
            *took_int = true;
        } else if (jump_pending()) {
            if (s.jump == Jump::Return && s.jump_target == context) {
                Value v = s.jump_value;
                s.jump = Jump::None;
                s.jump_value = kUndefinedValue;
                if (v != kReturnNoValue) {
                    result = v;
                    no_value = false;
                }
            } else {
                escaped = true;
            }
        }
        if (construct_class) {
            if (no_value) result = value_retain(self);
            if (result.kind() == Kind::Hash) cell_as<HashCell>(result)->class_symbol = construct_class;
        }
        frame.returns(result);
    }
    // The frame is gone; the result keeps the count its other owners give it.
    value_lower(result);
    if (escaped) throw JumpEscape{};
    return result;
}

[[noreturn]] void not_a_function(uint32_t name, Value v) {
    if (name) raise_runtime(err::not_a_function_named, symbol_name(name), static_cast<int>(v.kind()));
    raise_runtime(err::not_a_function);
}

}  // namespace

Value call_function_values(Value fn, uint32_t name, const Value* args, uint32_t n) {
    if (fn.kind() != Kind::Function) not_a_function(name, fn);
    PlaceModeGuard reads(false);
    CallArgs a;
    a.values = args;
    a.count = n;
    return call_script(fn, name, a, 0);
}

Value call_function_number(Value fn, const Value* args, uint32_t n, int32_t& number, bool& is_number) {
    if (fn.kind() != Kind::Function) not_a_function(0, fn);
    PlaceModeGuard reads(false);
    CallArgs a;
    a.values = args;
    a.count = n;
    is_number = false;
    // The debugger's exit hook is shown every result as a value.
    return call_script(fn, 0, a, 0, g_hooks.call_exit ? nullptr : &number, &is_number);
}

// ---- method calls -----------------------------------------------------------------------

namespace {

Value call_family(MethodFamily f, Value self, uint32_t name, const ArgList& args) {
    MethodFn fn = g_families[static_cast<size_t>(f)];
    Value result = kUndefinedValue;
    if (fn && fn(self, name, args.data(), args.size(), &result)) return result;
    raise_runtime(g_family_errors[static_cast<size_t>(f)]);
}

// console.log and console.error: the handler is the line's prefix.  Any
// number of arguments; console has no fixed-width name text, the width only
// bounds a name's length.
constexpr MethodRow<const char*> kConsoleRows[] = {
    {"log", at_least(0), "(L) "},
    {"error", at_least(0), "(E) "},
};
constexpr auto kConsole = method_table<5>(kConsoleRows, {err::console_method_unknown, std::nullopt});

Value console_call(uint32_t name, const ArgList& args) {
    int slot = kConsole.slot(name);
    if (slot == kNoMethod) raise_runtime(kConsole.errors.unknown);
    std::string line = kConsole[slot].handler;
    for (Value v : args.values) write_display(v, line, true);
    journal_append_escaped(std::string_view(line));
    line += '\n';
    journal_append("\n", 1);
    if (g_front.eval_mode) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fflush(stdout);
    }
    if (g_hooks.console) g_hooks.console(line.data(), line.size());
    return kUndefinedValue;
}

}  // namespace

MethodListing console_method_listing() { return listing_of("console", kConsole); }

namespace {

bool static_family(uint32_t sym, MethodFamily* f) {
    switch (sym) {
    case SYM_Math: *f = MethodFamily::Math; return true;
    case SYM_Object: *f = MethodFamily::Object; return true;
    case SYM_Number: *f = MethodFamily::Number; return true;
    case SYM_Date: *f = MethodFamily::DateStatic; return true;
    case SYM_String: *f = MethodFamily::StringStatic; return true;
    default: return false;
    }
}

Value scalar_method(Value self, uint32_t name) {
    if (std::string_view(symbol_name(name)) != "toString") raise_runtime(err::function_method_unknown);
    std::string s;
    write_plain(self, s);
    return make_string(s);
}

Value hash_method(Value self, uint32_t name, const ArgList& args) {
    // A function stored under the method's name wins over the built-ins.
    int64_t i = hash_find(self, name);
    if (i >= 0) {
        Value fn = hash_pairs(self)[i].value;
        return call_function_values(fn, name, args.data(), args.size());
    }
    return call_family(MethodFamily::Hash, self, name, args);
}

Value object_method(Value self, uint32_t name, const ArgList& args) {
    switch (self.kind()) {
    case Kind::Immediate:
    case Kind::Int:
    case Kind::Exception:
    case Kind::Double: return scalar_method(self, name);
    case Kind::String: return call_family(MethodFamily::String, self, name, args);
    case Kind::Date: return call_family(MethodFamily::Date, self, name, args);
    case Kind::RegExp: return call_family(MethodFamily::RegExp, self, name, args);
    case Kind::Array: return call_family(MethodFamily::Array, self, name, args);
    case Kind::KeyedArray: return call_family(MethodFamily::KeyedArray, self, name, args);
    case Kind::Hash: return hash_method(self, name, args);
    default: return kUndefinedValue;
    }
}

Value method_call(const InstrCell& member, const ArgRecord& rec) {
    Value object_expr(member.op0);
    uint32_t name = Value(member.op1).payload();
    ArgList args;
    args.evaluate_all(rec);
    Value result;
    MethodFamily f;
    if (object_expr.is_symbol() && object_expr.payload() == SYM_console) {
        result = console_call(name, args);
    } else if (object_expr.is_symbol() && static_family(object_expr.payload(), &f)) {
        result = call_family(f, kUndefinedValue, name, args);
    } else {
        // A method may call back into the script (a comparator), which may
        // let go of the receiver or an argument: both are held meanwhile.
        args.hold_all();
        TempGuard self(evaluate(object_expr));
        self.hold();
        result = object_method(self.get(), name, args);
        value_retain(result);
        self.reset(kUndefinedValue);
        value_lower(result);
    }
    return outlive(result, args);
}

Value conversion_call(uint32_t sym, const ArgRecord& rec) {
    ArgList args;
    args.evaluate_all(rec);
    Value result;
    if (sym == SYM_Number) result = args.size() ? number_of(args.at(0)) : make_int(0);
    else if (sym == SYM_String) result = args.size() ? string_of(args.at(0)) : make_string("", 0);
    else {
        if (!g_hooks.date_construct) raise_runtime(err::date_method_unknown);
        result = g_hooks.date_construct(args.data(), args.size());
    }
    return outlive(result, args);
}

}  // namespace

Value h_call(const InstrCell& c) {
    Value callee(c.op0);
    ArgRecord rec = arg_record(c.op1);
    PlaceModeGuard reads(false);
    if (callee.kind() == Kind::Instruction) {
        const InstrCell& m = *cell_as<InstrCell>(callee);
        if (m.opcode == op_byte(Op::OP_MEMBER)) return method_call(m, rec);
    }
    uint32_t name = 0;
    if (callee.is_symbol()) {
        name = callee.payload();
        if (name == SYM_Number || name == SYM_String || name == SYM_Date) return conversion_call(name, rec);
    }
    Value fn = evaluate(callee);
    RetainGuard hold(fn);  // a temporary function goes when the call is done
    if (fn.kind() != Kind::Function) not_a_function(name, fn);
    CallArgs a;
    a.exprs = rec.args;
    a.count = rec.count;
    return call_script(fn, name, a, 0);
}

// ---- copies and new ---------------------------------------------------------------------

namespace {

constexpr unsigned kMaxCopyDepth = 256;

Value copy_value(Value v, unsigned depth);

Value copy_container(Value v, unsigned depth) {
    Kind k = v.kind();
    if (k == Kind::Array) {
        uint32_t n = array_count(v);
        Value out = make_array(n);
        TempGuard g(out);
        for (uint32_t i = 0; i < n; ++i) array_elements(out)[i] = value_retain(copy_value(array_elements(v)[i], depth + 1));
        return g.release();
    }
    bool keyed = k == Kind::KeyedArray;
    uint32_t n = keyed ? keyed_count(v) : hash_count(v);
    Value out = keyed ? make_keyed_array(n) : make_hash(n, cell_as<HashCell>(v)->class_symbol);
    TempGuard g(out);
    for (uint32_t i = 0; i < n; ++i) {
        const Pair& src = (keyed ? keyed_pairs(v) : hash_pairs(v))[i];
        Pair* dst = keyed ? keyed_pairs(out) : hash_pairs(out);
        // The key goes in first: a failure halfway leaves whole pairs only.
        dst[i].key = src.key;
        dst[i].value = value_retain(copy_value(src.value, depth + 1));
    }
    return g.release();
}

Value copy_value(Value v, unsigned depth) {
    if (depth > kMaxCopyDepth) raise_runtime(err::new_argument_bad);
    switch (v.kind()) {
    case Kind::Int: return make_int(int_value(v));
    case Kind::Double: return make_double(double_value(v));
    case Kind::String: return make_string(string_text(v), string_length(v));
    case Kind::Date: {
        NewCell c = cell_alloc(Kind::Date);
        std::memcpy(reinterpret_cast<uint8_t*>(c.cell) + 1, reinterpret_cast<uint8_t*>(cell_of(v)) + 1, kCellSize - 1);
        return c.value;
    }
    case Kind::Exception:
    case Kind::RegExp: return v;
    case Kind::Array:
    case Kind::KeyedArray:
    case Kind::Hash: return copy_container(v, depth);
    default: raise_runtime(err::new_argument_bad);
    }
}

Value array_of_copies(const ArgList& args) {
    Value out = make_array(args.size());
    TempGuard g(out);
    for (uint32_t i = 0; i < args.size(); ++i) array_elements(out)[i] = value_retain(copy_value(args.at(i), 0));
    return g.release();
}

Value new_builtin(uint32_t cls, const ArgList& args) {
    bool none = args.size() == 0;
    switch (cls) {
    case SYM_Number: return none ? make_int(0) : number_of(args.at(0));
    case SYM_Integer: return none ? make_int(0) : integer_of(args.at(0));
    case SYM_Float: return none ? make_double(0.0) : float_of(args.at(0));
    case SYM_String: return none ? make_string("", 0) : string_of(args.at(0));
    case SYM_Array: return array_of_copies(args);
    case SYM_Error:
    case SYM_Exception: {
        Value code = args.at(1);
        return make_exception_value(args.at(0), args.size() > 1 ? &code : nullptr);
    }
    case SYM_Date:
        if (!g_hooks.date_construct) raise_runtime(err::new_bad);
        return g_hooks.date_construct(args.data(), args.size());
    case SYM_RegExp:
        if (!g_hooks.regexp_construct) raise_runtime(err::new_bad);
        return g_hooks.regexp_construct(args.data(), args.size());
    default: return kUndefinedValue;
    }
}

bool is_builtin_class(uint32_t cls) {
    switch (cls) {
    case SYM_Number: case SYM_Integer: case SYM_Float: case SYM_String: case SYM_Array:
    case SYM_Error: case SYM_Exception: case SYM_Date: case SYM_RegExp: return true;
    default: return false;
    }
}

}  // namespace

Value h_new(const InstrCell& c) {
    Value cls(c.op0);
    if (!cls.is_symbol()) raise_runtime(err::new_class_bad);
    uint32_t sym = cls.payload();
    ArgRecord rec = arg_record(c.op1);
    PlaceModeGuard reads(false);
    if (is_builtin_class(sym)) {
        ArgList args;
        args.evaluate_all(rec);
        return outlive(new_builtin(sym, args), args);
    }
    Value fn = lookup_variable(sym);
    if (fn.kind() != Kind::Function) raise_runtime(err::new_bad);
    CallArgs a;
    a.exprs = rec.args;
    a.count = rec.count;
    RetainGuard hold(fn);
    return call_script(fn, sym, a, sym);
}

Value h_array(const InstrCell& c) {
    ArgList args;
    const uint32_t* ops = operands(c);
    for (uint32_t i = 0, n = c.operand_count(); i < n; ++i) args.evaluate_push(Value(ops[i]));
    return array_of_copies(args);
}

Value h_hash_call(const InstrCell& c) {
    const uint32_t* ops = operands(c);
    for (uint32_t i = 0, n = c.operand_count(); i < n; ++i) value_drop_temp(evaluate(Value(ops[i])));
    return make_hash(0);
}

}  // namespace koru
