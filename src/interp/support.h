// Small helpers the handlers share: guards that drop temporaries when an
// error passes, and statement execution that stops at a pending jump.
#pragma once
#include <cstdint>
#include <vector>

#include "interp/evaluate.h"
#include "interp/opcodes.h"
#include "interp/state.h"
#include "runtime/objects.h"
#include "runtime/refcount.h"

namespace koru {

// Whether evaluating an operand may run code: an instruction, a template
// string (its ${...} parts), or a literal whose elements are evaluated.
constexpr uint32_t kCodeKinds = 1u << 10 | 1u << 11 | 1u << 12 | 1u << 13;  // literals, Instruction
[[gnu::always_inline]] inline bool may_run_code(Value operand) {
    unsigned k = static_cast<unsigned>(operand.kind());
    if ((kCodeKinds >> k) & 1) return true;
    return k == static_cast<unsigned>(Kind::String) && cell_as<StringCell>(operand)->is_template();
}

// Drops an evaluated operand at scope end (normal or unwinding).
//
// An operand read from a variable or a container is borrowed: only its
// owner counts it.  When a later operand of the same operation runs code
// (an assignment, a call), that code may drop the owner's reference and
// destroy the object while the operation still needs it.  hold() takes a
// reference of the guard's own for that time; a temporary is the guard's
// alone and needs none.
class TempGuard {
public:
    explicit TempGuard(Value v = kUndefinedValue) : v_(v) {}
    ~TempGuard() { let_go(); }
    TempGuard(const TempGuard&) = delete;
    TempGuard& operator=(const TempGuard&) = delete;
    Value get() const { return v_; }
    // Hands the value on as the evaluation gave it (borrowed or temporary):
    // the guard no longer drops it.  A held value gives its reference back
    // without being destroyed, so it is a temporary again if its owner let
    // it go meanwhile.
    Value release() {
        Value v = v_;
        if (held_) value_unref(v);
        v_ = kUndefinedValue;
        held_ = false;
        return v;
    }
    void reset(Value v) {
        let_go();
        v_ = v;
    }
    bool held() const { return held_; }
    // Keeps a borrowed value alive until the guard lets it go.
    void hold() {
        if (held_ || !is_borrowed(v_)) return;
        value_retain(v_);
        held_ = true;
    }
    // Keeps a borrowed value alive while `next`, a later operand, runs.
    [[gnu::always_inline]] void hold_across(Value next) {
        if (may_run_code(next)) hold();
    }

private:
    void let_go() {
        if (held_) value_release(v_);
        else value_drop_temp(v_);
        held_ = false;
    }
    Value v_;
    bool held_ = false;
};

// A short vector that keeps its first elements in place, so that the
// frequent short lists (arguments, small literals) need no heap block.
template <class T, uint32_t N>
class SmallVector {
public:
    SmallVector() = default;
    SmallVector(const SmallVector&) = delete;
    SmallVector& operator=(const SmallVector&) = delete;
    void push_back(T v) {
        if (n_ < N) inline_[n_] = v;
        else {
            if (n_ == N) heap_.assign(inline_, inline_ + N);
            heap_.push_back(v);
        }
        ++n_;
    }
    void resize(uint32_t n, T fill) {
        while (n_ < n) push_back(fill);
    }
    void clear() {
        n_ = 0;
        heap_.clear();
    }
    uint32_t size() const { return n_; }
    bool empty() const { return n_ == 0; }
    const T* data() const { return n_ > N ? heap_.data() : inline_; }
    T* data() { return n_ > N ? heap_.data() : inline_; }
    T operator[](uint32_t i) const { return data()[i]; }
    T& operator[](uint32_t i) { return data()[i]; }
    const T* begin() const { return data(); }
    const T* end() const { return data() + n_; }

private:
    T inline_[N];  // left unwritten: only the first n_ are read
    std::vector<T> heap_;
    uint32_t n_ = 0;
};

// Values evaluated one after another for one operation (arguments, the
// elements of a literal).  Before an element that runs code is evaluated,
// the borrowed values collected so far are held, as TempGuard::hold_across
// does for one value.
class ValueList {
public:
    ValueList() = default;
    ValueList(const ValueList&) = delete;
    ValueList& operator=(const ValueList&) = delete;
    ~ValueList() { clear(); }

    void evaluate_push(Value expr) {
        hold_across(expr);
        values.push_back(evaluate(expr));
    }
    // Keeps the borrowed values alive while `next` runs.
    void hold_across(Value next) {
        if (may_run_code(next)) hold_all();
    }
    // Keeps the borrowed values alive until they are let go.
    void hold_all() {
        if (checked_ < values.size()) hold_earlier();
    }
    // Lets every value go: held ones are released, temporaries dropped.
    void clear() {
        for (uint32_t i = 0; i < values.size(); ++i) {
            if (i < held_.size() && held_[i]) value_release(values[i]);
            else value_drop_temp(values[i]);
        }
        values.clear();
        held_.clear();
        checked_ = 0;
    }
    // The values now belong elsewhere (each was retained by its new owner):
    // only the holds are given back.
    void forget() {
        for (uint32_t i = 0; i < held_.size(); ++i)
            if (held_[i]) value_release(values[i]);
        values.clear();
        held_.clear();
        checked_ = 0;
    }
    SmallVector<Value, 8> values;

private:
    void hold_earlier() {
        held_.resize(values.size(), 0);
        for (uint32_t i = checked_; i < values.size(); ++i)
            if (is_borrowed(values[i])) {
                value_retain(values[i]);
                held_[i] = 1;
            }
        checked_ = values.size();
    }
    SmallVector<uint8_t, 8> held_;
    uint32_t checked_ = 0;
};

// A temporary Int nothing else refers to: its cell may take a new value
// instead of being freed while a new cell is made.  Only in the run phase,
// so that compiled images keep their cells exactly.
inline bool is_spare_int(Value v) {
    return v.bits >> 24 == static_cast<uint32_t>(Kind::Int) && cell_of(v)->header == header_of(Kind::Int, 0) &&
           cells_reused();
}

// An Int that exactly one owner holds (in the run phase): that owner may
// give it a new number in place.
inline bool is_sole_int(Value v) {
    return v.bits >> 24 == static_cast<uint32_t>(Kind::Int) && cell_of(v)->header == header_of(Kind::Int, 1) &&
           cells_reused();
}

// The Int result of two operands: written into a spare operand when there
// is one (an operand that is the other one as well is never spare).
inline Value int_result(TempGuard& a, TempGuard& b, int32_t r) {
    if (a.get() != b.get()) {
        TempGuard* spare = is_spare_int(a.get()) ? &a : is_spare_int(b.get()) ? &b : nullptr;
        if (spare) {
            cell_as<IntCell>(spare->get())->value = r;
            return spare->release();
        }
    }
    return make_int(r);
}

// Holds a retained reference for the duration of a scope.
class RetainGuard {
public:
    explicit RetainGuard(Value v) : v_(value_retain(v)) {}
    ~RetainGuard() { value_release(v_); }
    RetainGuard(const RetainGuard&) = delete;
    RetainGuard& operator=(const RetainGuard&) = delete;

private:
    Value v_;
};

// An increment, decrement, assignment or += whose value nobody reads (a
// statement, or the update of a for): told so, it may change the number or
// extend the String in place.  The flag never outlives the instruction it was meant for (a
// handler that refuses the instruction leaves it unread).
//
// `name++` and the like need no handler at all when the variable alone holds
// its number: the step is made here (false: the handler decides).
bool unread_step_of_name(const InstrCell& c);

// The increments and decrements, prefix or postfix.
constexpr bool is_step(uint8_t op) { return op >= op_byte(Op::OP_POST_INC) && op <= op_byte(Op::OP_PRE_DEC); }

inline Value evaluate_unused(Value s) {
    if (s.kind() == Kind::Instruction) {
        const InstrCell& c = *cell_as<InstrCell>(s);
        uint8_t op = c.opcode;
        if (may_run_unread(op) && !g_plain_paths) {  // x++ x-- ++x --x, x = y, x += y
            if (is_step(op) && unread_step_of_name(c)) return kUndefinedValue;
            struct Clear {
                ~Clear() { g_interp.result_unused = false; }
            } clear;
            g_interp.result_unused = true;
            return evaluate(s);
        }
    }
    return evaluate(s);
}

// Runs one statement and drops its result.  A jump that escaped a called
// function ends the statement here; the pending jump tells the caller what
// follows.
inline void exec_statement(Value s) {
    try {
        value_drop_temp(evaluate_unused(s));
    } catch (const JumpEscape&) {
    }
}

inline bool jump_pending() { return g_interp.jump != Jump::None; }

// Runs statements in order until one leaves a pending jump.
inline void exec_statements(const uint32_t* list, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) {
        exec_statement(Value(list[i]));
        if (jump_pending()) return;
    }
}

// Saves and restores the place-mode flag around a look-up.
class PlaceModeGuard {
public:
    explicit PlaceModeGuard(bool on) : saved_(g_interp.place_mode) { g_interp.place_mode = on; }
    ~PlaceModeGuard() { g_interp.place_mode = saved_; }
    PlaceModeGuard(const PlaceModeGuard&) = delete;
    PlaceModeGuard& operator=(const PlaceModeGuard&) = delete;

private:
    bool saved_;
};

inline void clear_place() {
    g_interp.place.kind = PlaceKind::None;
    g_interp.place_const = false;
}

// The argument record of a call or new: word 0 the count, then the arguments.
struct ArgRecord {
    uint32_t count;
    const uint32_t* args;
};
// Calls and new always carry a record (count 0 without brackets); address 0
// is a real address of the compile area, not "none".
inline ArgRecord arg_record(uint32_t addr_word) {
    const auto* w = static_cast<const uint32_t*>(area_ptr(AreaAddr{addr_word}));
    return {w[0], w + 1};
}

}  // namespace koru
