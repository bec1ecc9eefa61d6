#include "interp/globals.h"

#include "runtime/refcount.h"

namespace koru {

void GlobalTable::reset() {
    for (VarSlot& s : slots) value_release(s.value);
    slots.clear();
    slots.reserve(512);
    by_symbol.clear();
}

uint32_t global_append(uint32_t symbol) {
    uint32_t sym = symbol & 0x0FFFFFFF;
    GlobalTable& g = g_globals;
    if (g.slots.size() == g.slots.capacity()) g.slots.reserve(g.slots.size() + 512);
    g.slots.push_back(VarSlot{sym, kUndefinedValue});
    uint32_t index = static_cast<uint32_t>(g.slots.size() - 1);
    if (sym >= g.by_symbol.size()) g.by_symbol.resize(sym + 256, 0);
    g.by_symbol[sym] = index + 1;
    return index;
}

uint32_t global_bind(uint32_t symbol, Value v) {
    int64_t i = global_find(symbol);
    value_retain(v);
    uint32_t index = i >= 0 ? static_cast<uint32_t>(i) : global_append(symbol);
    Value old = g_globals.slots[index].value;
    g_globals.slots[index].value = v;
    value_release(old);
    return index;
}

}  // namespace koru
