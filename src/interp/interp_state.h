// The interpreter's state: the local stack, the place left by the last
// look-up, the pending jump, the global variables and the jump contexts.
// The engine (host/engine.h) owns one of each.
#pragma once
#include <cstdint>
#include <vector>

#include "runtime/value.h"

namespace koru {

// A variable slot: the name word (bits 0-27 the symbol, bit 31 const) and
// the value, which the slot retains.
struct VarSlot {
    uint32_t name;
    Value value;
    static constexpr uint32_t kConst = 0x80000000u;
    uint32_t symbol() const { return name & 0x0FFFFFFF; }
    bool is_const() const { return name & kConst; }
};
static_assert(sizeof(VarSlot) == 8);

struct GlobalTable {
    std::vector<VarSlot> slots;  // capacity grows by 512
    // Slot index + 1 of each symbol number (0 = none): the same answer as the
    // search from the last slot down, in one step.
    std::vector<uint32_t> by_symbol;
    void reset();
};

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

// The local stack keeps, beside the slots, the topmost slot of each name
// and, for each slot, the slot of the same name beneath it: the look-up of
// a name is then one step instead of a search from the top, with the same
// answer.  Names past kIndexedSymbols (which only a made-up image could
// give) are searched for as before.
constexpr uint32_t kIndexedSymbols = 1u << 20;

struct InterpState {
    std::vector<VarSlot> locals;  // slot 0 is never used; the top is size() - 1
    std::vector<uint32_t> beneath;  // per slot: the slot of its name beneath it (0 = none),
                                    // as long as the slots' capacity
    std::vector<uint32_t> topmost;  // per symbol: its topmost slot (0 = none)
    uint32_t frame_base = 0;      // first slot of the running function's frame
    uint32_t block_base = 0;      // first slot of the innermost block
    uint32_t scope_depth = 0;     // above 0 inside functions, blocks and for statements
    uint32_t param_count = 0;     // of the running function
    uint32_t local_count = 0;

    Place place;
    bool place_const = false;     // the variable found is a const
    uint32_t place_name = 0;      // symbol of the variable found (for messages), 0 = none
    bool place_mode = false;      // look-ups may create elements and properties
    bool result_unused = false;   // the ++, --, = or += about to run is a statement of its own

    Jump jump = Jump::None;
    uint32_t jump_target = 0;     // jump-context index that takes the pending jump
    Value jump_value;             // return value (retained while pending)

    // Script calls, eval and template expansion nesting on the machine stack.
    uint32_t call_depth = 0;

    void reset();
    // Empties the local stack without releasing anything.
    void forget_locals();
    uint32_t top() const { return static_cast<uint32_t>(locals.size() - 1); }
};

// The stack of jump contexts: loops, calls, try statements and switches push
// an entry; break, continue, return, throw and routed errors look for their
// target here.  Entry 0 is the host's recovery point (a try-type entry).
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
}  // namespace koru
