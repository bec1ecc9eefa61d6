#include "interp/state.h"

#include <cstdlib>

#include "host/errors.h"
#include "runtime/refcount.h"

namespace koru {

const bool g_plain_paths = std::getenv("KORU_PLAIN_PATHS") != nullptr;

void raise_too_deep() { raise_runtime(err::out_of_memory); }

void InterpState::reset() {
    for (size_t i = 1; i < locals.size(); ++i) value_release(locals[i].value);
    locals.clear();
    locals.reserve(512);
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

void grow_locals(uint32_t n) {
    std::vector<VarSlot>& l = g_interp.locals;
    // Grow by the needed room plus 512, as the table always has.
    l.reserve(l.size() + n + 512);
}

void pop_locals_from(uint32_t new_top) {
    std::vector<VarSlot>& l = g_interp.locals;
    // From the top down, each slot gone before its value is released.
    for (size_t n = l.size(); n > new_top + 1u; --n) {
        Value v = l[n - 1].value;
        l.pop_back();
        value_release(v);
    }
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
