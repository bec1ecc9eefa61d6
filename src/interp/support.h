// Small helpers the handlers share: guards that drop temporaries when an
// error passes, and statement execution that stops at a pending jump.
#pragma once
#include <cstdint>

#include "interp/evaluate.h"
#include "interp/state.h"
#include "runtime/objects.h"
#include "runtime/refcount.h"

namespace koru {

// Drops an evaluated operand at scope end (normal or unwinding).
class TempGuard {
public:
    explicit TempGuard(Value v = kUndefinedValue) : v_(v) {}
    ~TempGuard() { value_drop_temp(v_); }
    TempGuard(const TempGuard&) = delete;
    TempGuard& operator=(const TempGuard&) = delete;
    Value get() const { return v_; }
    // Hands the value on: the guard no longer drops it.
    Value release() {
        Value v = v_;
        v_ = kUndefinedValue;
        return v;
    }
    void reset(Value v) {
        value_drop_temp(v_);
        v_ = v;
    }

private:
    Value v_;
};

// A temporary Int nothing else refers to: its cell may take a new value
// instead of being freed while a new cell is made.  Only in the run phase,
// so that compiled images keep their cells exactly.
inline bool is_spare_int(Value v) {
    return v.bits >> 24 == static_cast<uint32_t>(Kind::Int) && cell_of(v)->header == header_of(Kind::Int, 0) &&
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

// Runs one statement and drops its result.  A jump that escaped a called
// function ends the statement here; the pending jump tells the caller what
// follows.
inline void exec_statement(Value s) {
    try {
        value_drop_temp(evaluate(s));
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
