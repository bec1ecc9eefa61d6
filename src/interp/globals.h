// The global variable table: (name, value) slots, searched from the last
// slot down.  Reading or assigning a name never declared creates a slot.
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
extern GlobalTable g_globals;

// Index of the slot of a symbol (the last one when there are several), or -1.
inline int64_t global_find(uint32_t symbol) {
    uint32_t sym = symbol & 0x0FFFFFFF;
    if (sym >= g_globals.by_symbol.size()) return -1;
    return static_cast<int64_t>(g_globals.by_symbol[sym]) - 1;
}
// Binds a global variable, replacing an earlier binding of the same name:
// the new value is retained, the old one released.  Returns the slot index.
uint32_t global_bind(uint32_t symbol, Value v);
// Appends a slot holding undefined without searching; the caller knows the
// name is not bound.
uint32_t global_append(uint32_t symbol);

}  // namespace koru
