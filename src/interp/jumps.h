// The stack of jump contexts: loops, calls, try statements and switches push
// an entry; break, continue, return, throw and routed errors look for their
// target here.  Entry 0 is the host's recovery point (a try-type entry).
#pragma once
#include <cstdint>
#include <vector>

namespace koru {

enum class JumpType : uint8_t { Loop = 1, Call = 2, Try = 3, Switch = 4 };

struct JumpStack {
    std::vector<JumpType> types;

    JumpStack() { reset(); }
    void reset() {
        types.clear();
        types.reserve(256);
        types.push_back(JumpType::Try);
    }
    uint32_t size() const { return static_cast<uint32_t>(types.size()); }
    uint32_t push(JumpType t) {
        types.push_back(t);
        return size() - 1;
    }
    void restore(uint32_t n) { types.resize(n); }
    // Innermost entry of the given type; entry 0 answers for Try.
    uint32_t innermost_try() const {
        for (uint32_t i = size(); i-- > 1;)
            if (types[i] == JumpType::Try) return i;
        return 0;
    }
};
extern JumpStack g_jumps;

// The target of an unwind that goes to the debugger's evaluation context.
constexpr uint32_t kDebugEvalTarget = 0xFFFFFFFF;

}  // namespace koru
