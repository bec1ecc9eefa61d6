// The stack of jump contexts: loops, calls, try statements and switches push
// an entry; break, continue, return, throw and routed errors look for their
// target here.  Entry 0 is the host's recovery point (a try-type entry).
#pragma once
#include <cstdint>
#include <vector>

namespace koru {

enum class JumpType : uint8_t { Loop = 1, Call = 2, Try = 3, Switch = 4 };

struct JumpStack {
    // Entries 0..size()-1 are in use; the rest is room, so that pushing and
    // restoring a count (once per call and loop) only move the count.
    std::vector<JumpType> types;

    JumpStack() { reset(); }
    void reset() {
        types.assign(kGrowth, JumpType::Try);
        count_ = 1;
    }
    uint32_t size() const { return count_; }
    uint32_t push(JumpType t) {
        if (count_ == types.size()) [[unlikely]]
            types.resize(types.size() + kGrowth);
        types[count_] = t;
        return count_++;
    }
    void restore(uint32_t n) { count_ = n; }
    // The innermost entry, which a return inside a function nearly always finds.
    JumpType innermost() const { return types[count_ - 1]; }
    // Innermost entry of the given type; entry 0 answers for Try.
    uint32_t innermost_try() const {
        for (uint32_t i = size(); i-- > 1;)
            if (types[i] == JumpType::Try) return i;
        return 0;
    }

private:
    static constexpr uint32_t kGrowth = 256;
    uint32_t count_ = 1;
};
extern JumpStack g_jumps;

// The target of an unwind that goes to the debugger's evaluation context.
constexpr uint32_t kDebugEvalTarget = 0xFFFFFFFF;

}  // namespace koru
