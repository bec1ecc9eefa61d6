// What the run phase learns about a cell and keeps beside it: the positions
// the String methods found in a text.  None
// of it lives in the cell (cell layouts are the object-file format), so
// none of it reaches an image.  Each table is a handful of slots, a cell
// mapped to one slot by its value word; the slot names the cell it
// describes, and the cell's destruction or any change to it empties the
// slot, so a cell reused for another object never finds the old entry.
#pragma once
#include <cstdint>

#include "runtime/value.h"

namespace koru {

constexpr unsigned kSideSlots = 16;

constexpr unsigned side_slot(Value v) { return (v.bits ^ (v.bits >> 7) ^ (v.bits >> 13)) & (kSideSlots - 1); }

// The cell each slot describes (0: none); the entries themselves belong to
// their subsystems (strings/text_index.cpp).
inline uint32_t g_text_index_cells[kSideSlots];

inline void text_index_forget(Value v) {
    uint32_t& s = g_text_index_cells[side_slot(v)];
    if (s == v.bits) s = 0;
}

}  // namespace koru
