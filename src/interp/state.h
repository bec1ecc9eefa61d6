// The interpreter's process-wide state: the local stack, the scope
// positions, the place left by the last look-up and the pending jump.
#pragma once
#include <cstdint>
#include <vector>

#include "interp/globals.h"
#include "runtime/refcount.h"
#include "runtime/value.h"

namespace koru {

// Where the value found by the last look-up lives, so that assignment,
// compound assignment and increment can store without a second look-up.
enum class PlaceKind : uint8_t {
    None = 0,
    Element = 3,    // array element: container, index
    LastIndex = 5,  // the lastIndex of a RegExp: the RegExp in `container`
    Local = 10,     // local stack index
    Global = 11,    // global table index
    Pair = 21,      // value of a KeyedArray or Hash pair: container, pair index
};

struct Place {
    PlaceKind kind = PlaceKind::None;
    Value container;          // Element, Pair, LastIndex
    uint32_t index = 0;       // Local, Global, Element, Pair
};

// break, continue and return travel as a pending jump that statement lists,
// loops, switch, try and calls test after each statement; only throw and
// errors unwind as C++ exceptions.
enum class Jump : uint8_t { None = 0, Break, Continue, Return };

struct InterpState {
    std::vector<VarSlot> locals;  // slot 0 is never used; the top is size() - 1
    uint32_t frame_base = 0;      // first slot of the running function's frame
    uint32_t block_base = 0;      // first slot of the innermost block
    uint32_t scope_depth = 0;     // above 0 inside functions, blocks and for statements
    uint32_t param_count = 0;     // of the running function
    uint32_t local_count = 0;

    Place place;
    bool place_const = false;     // the variable found is a const
    uint32_t place_name = 0;      // symbol of the variable found (for messages), 0 = none
    bool place_mode = false;      // look-ups may create elements and properties
    bool result_unused = false;   // the ++, -- or = about to run is a statement of its own

    Jump jump = Jump::None;
    uint32_t jump_target = 0;     // jump-context index that takes the pending jump
    Value jump_value;             // return value (retained while pending)

    void reset();
    uint32_t top() const { return static_cast<uint32_t>(locals.size() - 1); }
};
extern InterpState g_interp;

// The fast paths (the integer path, the in-place updates of numbers and the
// kept code of template substitutions) are left out when the environment
// names KORU_PLAIN_PATHS: every instruction then runs its plain handler and
// every template compiles its text, so that the suite can check the two
// against each other.  Read once at start-up; no request can change it.
extern const bool g_plain_paths;

// Jump word of a return without a value.
constexpr Value kReturnNoValue{0x406F0000};

// Thrown when a pending break or continue leaves a function whose caller
// holds its target: the caller's expression is abandoned up to the nearest
// statement boundary, where the pending jump carries on.  Rare by nature.
struct JumpEscape {};

// ---- the local stack ----------------------------------------------------------
// Grows the stack to 512 slots beyond its size, plus n for a frame pushed at once.
void grow_locals(uint32_t n = 0);
void pop_locals_from(uint32_t new_top);

// v is retained.
[[gnu::always_inline]] inline void push_local(uint32_t name_word, Value v) {
    std::vector<VarSlot>& l = g_interp.locals;
    if (l.size() == l.capacity()) [[unlikely]]
        grow_locals();
    l.push_back(VarSlot{name_word, value_retain(v)});
}

// Takes over a reference the caller holds.
[[gnu::always_inline]] inline void push_local_owned(uint32_t name_word, Value v) {
    std::vector<VarSlot>& l = g_interp.locals;
    if (l.size() == l.capacity()) [[unlikely]]
        grow_locals();
    l.push_back(VarSlot{name_word, v});
}

// Makes room for n more slots, so that a frame's pushes never grow the stack.
inline void reserve_locals(uint32_t n) {
    std::vector<VarSlot>& l = g_interp.locals;
    if (l.capacity() - l.size() < n) [[unlikely]]
        grow_locals(n);
}

// Releases the values above new_top.
inline void pop_locals(uint32_t new_top) {
    if (g_interp.top() > new_top) pop_locals_from(new_top);
}

// Restores the scope positions and pops the locals of a scope when it ends,
// normally or by an unwinding error.
class ScopeGuard {
public:
    // A block also moves the block base to the first free slot.
    ScopeGuard(bool raise_depth, bool new_block)
        : top_(g_interp.top()), block_base_(g_interp.block_base), depth_(g_interp.scope_depth) {
        if (raise_depth) ++g_interp.scope_depth;
        if (new_block) g_interp.block_base = top_ + 1;
    }
    ~ScopeGuard() {
        pop_locals(top_);
        g_interp.block_base = block_base_;
        g_interp.scope_depth = depth_;
    }
    ScopeGuard(const ScopeGuard&) = delete;
    ScopeGuard& operator=(const ScopeGuard&) = delete;
    uint32_t saved_top() const { return top_; }

private:
    uint32_t top_, block_base_, depth_;
};

// ---- nesting on the machine stack ------------------------------------------------
// Script calls, eval and template expansion nest on the machine stack, and
// all three count alike (eval text that evals itself recurses with no call
// in between): past this depth a runaway recursion ends in the memory error
// instead of overflowing the stack.
constexpr uint32_t kMaxCallDepth = 1000;
extern uint32_t g_call_depth;
[[noreturn]] void raise_too_deep();

inline void enter_nesting() {
    if (g_call_depth >= kMaxCallDepth) [[unlikely]]
        raise_too_deep();
    ++g_call_depth;
}
inline void leave_nesting() { --g_call_depth; }

// ---- pending jumps ---------------------------------------------------------------
// Drops the value of a pending return (the jump was overridden or consumed).
void clear_jump();
// Takes the value of a pending return for its receiver: the count is lowered
// again without destroying, so a temporary becomes a temporary again.
Value take_return_value();

}  // namespace koru
