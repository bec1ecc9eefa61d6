// The two allocators: 16-byte cells in 4096-byte cell pages, and the area
// allocator for variable-sized blocks (texts, vectors, area objects).
//
// Compile phase: area blocks come from class 0, a never-freed area of
// 4096-byte word pages; freed cells are recorded but not reused.
// Run phase: area blocks come from the size classes 1..14 (slots in shared
// pages) and class 15 (one allocation per block), and freed space is reused.
#pragma once
#include <cstddef>
#include <cstdint>

#include "host/engine.h"
#include "runtime/cell.h"
#include "runtime/value.h"

namespace koru {


// Usable slot size and slots per page of classes 1..14 (index 0 unused).
constexpr unsigned kClassSize[15] = {0, 32, 64, 96, 128, 192, 256, 384, 448, 512, 768, 1024, 1280, 1536, 2048};
constexpr unsigned kClassSlots[15] = {0, 256, 256, 256, 128, 128, 64, 64, 32, 32, 16, 16, 8, 8, 8};

// The run-phase class of a request of n bytes (15 = a large block).
unsigned size_class_for(size_t n);

// The marker written at the start of a returned class slot.
constexpr uint8_t kFreeSlotMarker[9] = {0xFF, 0x01, 0xEE, 0x02, 0xDD, 0x03, 0xCC, 0x04, 0x00};

struct NewCell {
    Cell* cell;
    Value value;
};

struct AreaBlock {
    void* ptr;
    AreaAddr addr;
};

// ---- cells --------------------------------------------------------------

// New cells come from the highest page with free cells, highest slot first
// (in the run phase), else from the bump page.
NewCell cell_alloc(Kind kind, unsigned initial_count = 0);

// Freed cells are reused (the run phase).
inline bool cells_reused() { return g_cells->run; }

inline void cell_free(Value v) {
    CellPages& cp = *g_cells;
    unsigned page = v.page(), slot = v.slot();
    cp.pages[page][slot * kCellSize] = kFreeCellHeader;
    CellPageInfo& in = cp.info[page];
    in.free_bits[slot >> 6] |= uint64_t{1} << (slot & 63);
    if (in.free_count == 0 || in.high_free < slot) in.high_free = static_cast<uint8_t>(slot);
    ++in.free_count;
    if (cp.total_free == 0 || cp.highest_free_page < static_cast<int>(page)) cp.highest_free_page = static_cast<int>(page);
    ++cp.total_free;
}

Value cell_ref_of(const Cell* c);

inline Cell* cell_of(Value v) {
    return reinterpret_cast<Cell*>(g_cell_pages[v.page()] + v.slot() * kCellSize);
}
template <class T>
inline T* cell_as(Value v) {
    static_assert(is_cell_view<T>);
    return reinterpret_cast<T*>(cell_of(v));
}

// ---- area blocks --------------------------------------------------------
AreaBlock area_alloc(size_t n_bytes);
void area_free(AreaAddr addr);

inline void* area_ptr(AreaAddr addr) {
    unsigned c = addr.area_class();
    if (c == 0) return g_area.words[(addr.bits >> 10) & 0x3FF] + (addr.bits & 0x3FF) * 4;
    if (c == 15) return g_area.large[addr.bits & 0xFFFFF];
    // Slots follow the 8-byte page header at a stride of the slot size.
    return g_area.classes[c][(addr.bits >> 8) & 0xFFF] + 8 + (addr.bits & 0xFF) * kClassSize[c];
}
// The usable bytes of a run-phase block (at least what was asked for); 0 for
// a compile-area block, whose size is not kept.
size_t area_block_size(AreaAddr addr);
template <class T>
inline T* area_as(AreaAddr addr) { return static_cast<T*>(area_ptr(addr)); }

// ---- the error reserve ---------------------------------------------------
// A block of kErrorReserveBytes, addressed as word page 1023 (a page no
// allocation opens), for the error object of a failure of the allocator
// itself.  Taking it allocates nothing; each call hands out the same block.
constexpr unsigned kErrorReservePage = kMaxWordPage + 1;
constexpr size_t kErrorReserveBytes = 16384 + 64;
AreaBlock area_error_reserve();

// ---- phases and state -----------------------------------------------------
bool run_phase();
void enter_run_phase();
// Later compile-area blocks never share a page with what is placed so far.
void area_seal_pages();
// Back to the state of a fresh process (tests run many scripts in one process).
void memory_reset();

// Object images: whole pages appended after the pages in use.  The new
// cell page is counted as full, so later cells come from the pages after it.
unsigned cell_pages_in_use();
uint8_t* cell_page_append();
unsigned word_pages_in_use();
uint8_t* word_page_append(unsigned used_units);
// `count` word pages in one allocation, so that a block of an image that
// spans pages stays contiguous as it was when it was compiled; returns the
// first page.
uint8_t* word_pages_append(const uint32_t* used_units, unsigned count);

// Figures the tests and object-file writer read.
struct MemoryStats {
    unsigned cell_pages_used;     // bump page index + 1
    unsigned free_cells;
    int highest_free_cell_page;   // -1 = none
    int word_pages_used;          // last word page in use + 1
    unsigned cell_bump_slot;      // cells handed out in the last page (the rest is not yet written)
    unsigned class_pages_used;    // pages of the run-phase size classes 1..14, all classes together
    unsigned large_blocks_live;   // class-15 blocks allocated and not freed
    unsigned class_slots_live;    // slots of classes 1..14 handed out and not freed
};
MemoryStats memory_stats();
uint8_t* cell_page(unsigned index);      // null past the pages in use
uint8_t* word_page(unsigned index);
unsigned word_page_used(unsigned index);

}  // namespace koru
