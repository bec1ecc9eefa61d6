// The interpreter's process-wide state: the local stack, the scope
// positions, the place left by the last look-up and the pending jump.
#pragma once
#include <cstdint>
#include <vector>

#include "host/engine.h"
#include "interp/globals.h"
#include "runtime/refcount.h"
#include "runtime/value.h"

namespace koru {


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

void grow_topmost(uint32_t sym);

// Puts the slot just pushed at the top of its name's chain.
[[gnu::always_inline]] inline void link_top_slot(uint32_t name_word) {
    InterpState& s = g_interp;
    uint32_t sym = name_word & 0x0FFFFFFF;
    uint32_t below = 0;
    if (sym < kIndexedSymbols) [[likely]] {
        if (sym >= s.topmost.size()) [[unlikely]]
            grow_topmost(sym);
        below = s.topmost[sym];
        s.topmost[sym] = s.top();
    }
    s.beneath[s.top()] = below;  // as long as the slots' capacity
}

// v is retained.
[[gnu::always_inline]] inline void push_local(uint32_t name_word, Value v) {
    std::vector<VarSlot>& l = g_interp.locals;
    if (l.size() == l.capacity()) [[unlikely]]
        grow_locals();
    l.push_back(VarSlot{name_word, value_retain(v)});
    link_top_slot(name_word);
}

// Takes over a reference the caller holds.
[[gnu::always_inline]] inline void push_local_owned(uint32_t name_word, Value v) {
    std::vector<VarSlot>& l = g_interp.locals;
    if (l.size() == l.capacity()) [[unlikely]]
        grow_locals();
    l.push_back(VarSlot{name_word, v});
    link_top_slot(name_word);
}

// Makes room for n more slots, so that a frame's pushes never grow the stack.
inline void reserve_locals(uint32_t n) {
    std::vector<VarSlot>& l = g_interp.locals;
    if (l.capacity() - l.size() < n) [[unlikely]]
        grow_locals(n);
}

// The topmost slot of a name at or above `low` (0 when there is none): the
// slot a search from the top down to `low` would find first.
[[gnu::always_inline]] inline uint32_t topmost_slot(uint32_t sym, uint32_t low) {
    const InterpState& s = g_interp;
    if (sym < s.topmost.size()) [[likely]] {
        uint32_t i = s.topmost[sym];
        return i >= low ? i : 0;
    }
    if (sym < kIndexedSymbols) return 0;  // never pushed
    for (uint32_t i = s.top(); i >= low && i > 0; --i)
        if (s.locals[i].symbol() == sym) return i;
    return 0;
}

// The lowest slot of a name at or above `low` (0 when there is none): the
// slot a search from `low` upwards would find first.
inline uint32_t lowest_slot(uint32_t sym, uint32_t low) {
    const InterpState& s = g_interp;
    if (sym >= kIndexedSymbols) {
        for (uint32_t i = low; i <= s.top(); ++i)
            if (s.locals[i].symbol() == sym) return i;
        return 0;
    }
    uint32_t found = 0;
    for (uint32_t i = topmost_slot(sym, low); i >= low && i > 0; i = s.beneath[i]) found = i;
    return found;
}

// Takes the slots above `top` off the stack without releasing their values
// (the debugger evaluates in an older frame meanwhile), and puts them back.
void set_locals_aside(uint32_t top, std::vector<VarSlot>& aside);
void put_locals_back(const std::vector<VarSlot>& aside);

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
[[noreturn]] void raise_too_deep();

inline void enter_nesting() {
    if (g_interp.call_depth >= kMaxCallDepth) [[unlikely]]
        raise_too_deep();
    ++g_interp.call_depth;
}
inline void leave_nesting() { --g_interp.call_depth; }

// ---- pending jumps ---------------------------------------------------------------
// Drops the value of a pending return (the jump was overridden or consumed).
void clear_jump();
// Takes the value of a pending return for its receiver: the count is lowered
// again without destroying, so a temporary becomes a temporary again.
Value take_return_value();

}  // namespace koru
