#include "interp/state.h"

#include <cstdlib>

#include "host/errors.h"
#include "runtime/refcount.h"

namespace koru {

const bool g_plain_paths = std::getenv("KORU_PLAIN_PATHS") != nullptr;

void raise_too_deep() { raise_runtime(err::out_of_memory); }

void InterpState::reset() {
    for (size_t i = 1; i < locals.size(); ++i) value_release(locals[i].value);
    forget_locals();
    locals.reserve(512);
    beneath.resize(locals.capacity(), 0);
    locals.push_back(VarSlot{0, kUndefinedValue});
    frame_base = block_base = scope_depth = 0;
    param_count = local_count = 0;
    place = Place{};
    place_const = false;
    place_name = 0;
    place_mode = false;
    result_unused = false;
    if (jump == Jump::Return) value_release(jump_value);
    jump = Jump::None;
    jump_target = 0;
    jump_value = kUndefinedValue;
    call_depth = 0;
}

void InterpState::forget_locals() {
    locals.clear();
    beneath.assign(locals.capacity(), 0);
    topmost.clear();
}

void grow_locals(uint32_t n) {
    InterpState& s = g_interp;
    // Grow by the needed room plus 512, as the table always has.
    s.locals.reserve(s.locals.size() + n + 512);
    s.beneath.resize(s.locals.capacity(), 0);
}

void grow_topmost(uint32_t sym) {
    std::vector<uint32_t>& t = g_interp.topmost;
    size_t n = t.size() < 256 ? 256 : t.size();
    while (n <= sym) n *= 2;
    if (n > kIndexedSymbols) n = kIndexedSymbols;
    t.resize(n, 0);
}

namespace {

// Takes the top slot out of its name's chain.
inline void unlink_top_slot() {
    InterpState& s = g_interp;
    uint32_t sym = s.locals.back().symbol();
    if (sym < kIndexedSymbols) s.topmost[sym] = s.beneath[s.top()];
}

}  // namespace

void pop_locals_from(uint32_t new_top) {
    std::vector<VarSlot>& l = g_interp.locals;
    // From the top down, each slot gone before its value is released.
    for (size_t n = l.size(); n > new_top + 1u; --n) {
        Value v = l[n - 1].value;
        unlink_top_slot();
        l.pop_back();
        value_release(v);
    }
}

void set_locals_aside(uint32_t top, std::vector<VarSlot>& aside) {
    std::vector<VarSlot>& l = g_interp.locals;
    aside.assign(l.begin() + top + 1, l.end());
    while (l.size() > top + 1u) {
        unlink_top_slot();
        l.pop_back();
    }
}

void put_locals_back(const std::vector<VarSlot>& aside) {
    for (const VarSlot& slot : aside) push_local_owned(slot.name, slot.value);
}

void clear_jump() {
    if (g_interp.jump == Jump::Return) {
        Value v = g_interp.jump_value;
        g_interp.jump_value = kUndefinedValue;
        value_unref(v);
        value_drop_temp(v);
    }
    g_interp.jump = Jump::None;
}

Value take_return_value() {
    Value v = g_interp.jump_value;
    g_interp.jump_value = kUndefinedValue;
    g_interp.jump = Jump::None;
    value_unref(v);
    return v;
}

}  // namespace koru
