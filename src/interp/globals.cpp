#include "interp/globals.h"

#include "runtime/refcount.h"

namespace koru {

GlobalTable g_globals;

void GlobalTable::reset() {
    for (VarSlot& s : slots) value_release(s.value);
    slots.clear();
    slots.reserve(512);
}

int64_t global_find(uint32_t symbol) {
    for (size_t i = g_globals.slots.size(); i-- > 0;)
        if (g_globals.slots[i].symbol() == (symbol & 0x0FFFFFFF)) return static_cast<int64_t>(i);
    return -1;
}

uint32_t global_bind(uint32_t symbol, Value v) {
    int64_t i = global_find(symbol);
    value_retain(v);
    if (i >= 0) {
        Value old = g_globals.slots[i].value;
        g_globals.slots[i].value = v;
        value_release(old);
        return static_cast<uint32_t>(i);
    }
    if (g_globals.slots.size() == g_globals.slots.capacity()) g_globals.slots.reserve(g_globals.slots.size() + 512);
    g_globals.slots.push_back(VarSlot{symbol & 0x0FFFFFFF, v});
    return static_cast<uint32_t>(g_globals.slots.size() - 1);
}

}  // namespace koru
