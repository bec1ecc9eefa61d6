// What the run phase learns about a cell and keeps beside it: the positions
// the String methods found in a text, the key index of a large hash.  None
// of it lives in the cell (cell layouts are the object-file format), so none
// of it reaches an image.  Each table is a handful of slots; a cell may sit
// in one of two slots that its value word picks, so two cells used in turn
// do not push each other out.  The slot names the cell it describes, and
// the cell's destruction or any change to it empties the slot, so a cell
// reused for another object never finds the old entry.
#pragma once
#include <cstdint>

#include "runtime/value.h"

namespace koru {

constexpr unsigned kSideSlots = 16;

struct SideSlots {
    uint32_t cell[kSideSlots] = {};  // the cell each slot describes (0: none)
    uint32_t used[kSideSlots] = {};  // when it was last found: the older of two goes first
    uint32_t clock = 0;

    static constexpr unsigned first(Value v) { return (v.bits ^ (v.bits >> 7) ^ (v.bits >> 13)) & (kSideSlots - 1); }
    static constexpr unsigned second(Value v) { return first(v) ^ (kSideSlots / 2); }

    // The slot that describes v, or -1.
    int find(Value v) {
        unsigned a = first(v), b = second(v);
        int s = cell[a] == v.bits ? static_cast<int>(a) : cell[b] == v.bits ? static_cast<int>(b) : -1;
        if (s >= 0) used[s] = ++clock;
        return s;
    }
    // A slot for v, given up by the cell that was found least recently.
    unsigned claim(Value v) {
        unsigned a = first(v), b = second(v);
        unsigned s = cell[a] == 0 ? a : cell[b] == 0 ? b : used[a] <= used[b] ? a : b;
        cell[s] = v.bits;
        used[s] = ++clock;
        return s;
    }
    void forget(Value v) {
        unsigned a = first(v), b = second(v);
        if (cell[a] == v.bits) cell[a] = 0;
        if (cell[b] == v.bits) cell[b] = 0;
    }
};

// The entries themselves belong to their subsystems (strings/text_index.cpp,
// interp/hash_index.cpp).
inline SideSlots g_text_slots;
inline SideSlots g_hash_slots;

inline void text_index_forget(Value v) { g_text_slots.forget(v); }
inline void hash_index_forget(Value v) { g_hash_slots.forget(v); }

}  // namespace koru
