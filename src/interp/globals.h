// The global variable table: (name, value) slots, searched from the last
// slot down.  Reading or assigning a name never declared creates a slot.
#pragma once
#include <cstdint>
#include <vector>

#include "host/engine.h"
#include "runtime/value.h"

namespace koru {


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
