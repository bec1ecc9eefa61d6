// Cell pages and allocation areas.  The reuse orders here (highest page and
// slot first) are observable through object files, so they follow the
// layouts exactly rather than using a general-purpose allocator.
#include "runtime/area.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/errors.h"
#include "runtime/limits.h"

namespace koru {

namespace {

[[noreturn]] void out_of_memory() { raise_runtime(err::out_of_memory); }

void* checked_malloc(size_t n) {
    memory_taking(n);
    void* p = std::malloc(n ? n : 1);
    if (!p) out_of_memory();
    return p;
}

void* checked_calloc(size_t n) {
    memory_taking(n);
    void* p = std::calloc(1, n ? n : 1);
    if (!p) out_of_memory();
    return p;
}

// ---- cell pages -----------------------------------------------------------
CellPages* new_cell_pages() {
    auto* cp = static_cast<CellPages*>(std::calloc(1, sizeof(CellPages)));
    if (!cp) std::abort();  // at start-up, before anything could report it
    cp->bump_page = -1;
    cp->bump_slot = kCellsPerPage;
    cp->highest_free_page = -1;
    return cp;
}

void delete_cell_pages(CellPages* cp) {
    for (int p = 0; p <= cp->bump_page; ++p) std::free(cp->pages[p]);
    std::free(cp);
}



// ---- word pages (class 0) ---------------------------------------------------
struct WordPages {
    std::vector<uint8_t*> pages;
    std::vector<uint16_t> used;         // units used per page
    std::vector<uint8_t> owns;          // 1 where the entry starts its own allocation
    unsigned first_search = 0;
    int last_in_use = -1;
    // Per block size in units: no page below this one has room for it.  A
    // page's use only grows (word blocks are never given back one by one)
    // and new pages come at the end, so a page without room for n units
    // never has it again, and the first page with room is found from here
    // as a search from the first page would find it.
    std::vector<uint32_t> fit_from = std::vector<uint32_t>(kWordPageUnits, 0);
};

// ---- size classes -------------------------------------------------------------
struct ClassPageHeader {
    uint16_t bumped;    // slots handed out by bumping
    uint16_t pad;
    uint16_t free_count;
    uint16_t hint;      // highest known free slot
};
static_assert(sizeof(ClassPageHeader) == 8);

struct SizeClass {
    std::vector<uint8_t*> pages;        // grows by 256
    int current = -1;                   // bump page
    unsigned pages_with_free = 0;
    int highest_free_page = -1;
};

struct LargeBlocks {
    std::vector<void*> table;           // empty until the first block, grows by 512
    std::vector<size_t> sizes;          // the bytes of each block
    uint32_t next = 0;                  // high-water index
    uint32_t freed = 0;
    int64_t highest_freed = -1;
};

}  // namespace

struct Memory {
    WordPages words;
    SizeClass classes[kClassCount];
    LargeBlocks large;
    bool run = false;

    Memory() {
        // Room for the reserve's page entry is set aside now, so that taking
        // it (after an allocation failed) allocates nothing.
        words.pages.reserve(kErrorReservePage + 1);
        words.used.reserve(kErrorReservePage + 1);
        words.owns.reserve(kErrorReservePage + 1);
        words.pages.resize(128, nullptr);
        words.used.resize(128, 0);
        words.owns.resize(128, 0);
        // The large-block table is left empty: most requests never make a
        // large block, and its 16 KB would be written (page by page) at
        // start-up for nothing.  alloc_large grows it on first use.
    }
    ~Memory() { release_all(); }

    void release_all() {
        for (size_t i = 0; i < words.pages.size(); ++i)
            if (words.owns[i]) std::free(words.pages[i]);
        for (auto& c : classes)
            for (uint8_t* p : c.pages) std::free(p);
        for (void* p : large.table) std::free(p);
    }
};

namespace {

// Points the inline area_ptr at the page tables; called whenever one of
// them has moved (it grew, or the memory was reset).
void sync_area_tables() {
    g_area.words = g_mem->words.pages.data();
    g_area.large = g_mem->large.table.data();
    for (unsigned c = 1; c < kClassCount; ++c) g_area.classes[c] = g_mem->classes[c].pages.data();
}

inline ClassPageHeader* page_header(uint8_t* page) { return reinterpret_cast<ClassPageHeader*>(page); }
// Slots follow the 8-byte page header at a stride of the slot size, so every
// block is 8-byte aligned (vectors of Values and pairs are read in place).
inline uint8_t* class_slot(unsigned c, uint8_t* page, unsigned slot) { return page + 8 + slot * kClassSize[c]; }
inline bool has_marker(const uint8_t* p) { return std::memcmp(p, kFreeSlotMarker, sizeof kFreeSlotMarker) == 0; }

}  // namespace

// The engine's memory starts with its first books and pages.
MemoryState::MemoryState() : books(new Memory()), cells(new_cell_pages()), cell_pages(cells->pages) {
    area.words = books->words.pages.data();
    area.large = books->large.table.data();
    for (unsigned c = 1; c < kClassCount; ++c) area.classes[c] = books->classes[c].pages.data();
}

// ---- cells --------------------------------------------------------------------

namespace {

// The next bump page: kept out of line, as it runs once in 256 allocations.
[[gnu::noinline]] void open_cell_page(CellPages& cp) {
    unsigned next = static_cast<unsigned>(cp.bump_page + 1);
    if (next >= kMaxCellPages) raise_runtime(err::area_cell_pages);
    if (!cp.pages[next]) cp.pages[next] = static_cast<uint8_t*>(checked_malloc(kCellPageBytes));
    cp.bump_page = static_cast<int>(next);
    cp.bump_slot = 0;
}

// The highest free slot below `slot` in an image page, by its headers.
[[gnu::noinline]] int free_header_below(const CellPages& cp, unsigned page, unsigned slot) {
    const uint8_t* base = cp.pages[page];
    int s = static_cast<int>(slot) - 1;
    while (s >= 0 && base[s * kCellSize] != kFreeCellHeader) --s;
    return s;
}

// The highest free slot below `slot` in a page, or -1.
inline int free_slot_below(const CellPages& cp, unsigned page, unsigned slot) {
    const CellPageInfo& in = cp.info[page];
    if (in.raw) [[unlikely]]
        return free_header_below(cp, page, slot);
    int w = static_cast<int>(slot >> 6);
    uint64_t bits = in.free_bits[w] & ((uint64_t{1} << (slot & 63)) - 1);
    for (;;) {
        if (bits) return w * 64 + 63 - std::countl_zero(bits);
        if (--w < 0) return -1;
        bits = in.free_bits[w];
    }
}

// The page `page` has no free cell left: the next page with free cells is
// looked for below it.
[[gnu::noinline]] void next_free_page(CellPages& cp, unsigned page) {
    // With no free cell left anywhere there is no page to look for.
    int p = cp.total_free == 0 ? -1 : static_cast<int>(page) - 1;
    while (p >= 0 && cp.info[p].free_count == 0) --p;
    if (p < 0) cp.total_free = 0;
    cp.highest_free_page = p;
}

}  // namespace

NewCell cell_alloc(Kind kind, unsigned initial_count) {
    CellPages& cp = *g_cells;
    unsigned page, slot;
    if (cp.total_free > 0 && cp.run) {
        page = static_cast<unsigned>(cp.highest_free_page);
        CellPageInfo& in = cp.info[page];
        slot = in.high_free;
        in.free_bits[slot >> 6] &= ~(uint64_t{1} << (slot & 63));
        --cp.total_free;
        if (--in.free_count > 0) {
            int s = free_slot_below(cp, page, slot);
            if (s >= 0) in.high_free = static_cast<uint8_t>(s);
            else in.free_count = 0;
        }
        if (in.free_count == 0) next_free_page(cp, page);
    } else {
        if (cp.bump_slot >= kCellsPerPage) [[unlikely]]
            open_cell_page(cp);
        page = static_cast<unsigned>(cp.bump_page);
        slot = cp.bump_slot++;
    }
    // The whole cell is written: the header and zeros, as two words.
    uint8_t* at = cp.pages[page] + slot * kCellSize;
    const uint64_t head = header_of(kind, initial_count), zero = 0;
    std::memcpy(at, &head, 8);
    std::memcpy(at + 8, &zero, 8);
    return {reinterpret_cast<Cell*>(at), Value::cell(kind, page, slot)};
}

Value cell_ref_of(const Cell* c) {
    const CellPages& cp = *g_cells;
    auto addr = reinterpret_cast<const uint8_t*>(c);
    for (int p = 0; p <= cp.bump_page; ++p) {
        const uint8_t* base = cp.pages[p];
        if (base && addr >= base && addr < base + kCellPageBytes) {
            unsigned slot = static_cast<unsigned>(addr - base) / kCellSize;
            return Value::cell(c->type(), static_cast<unsigned>(p), slot);
        }
    }
    raise_runtime(err::area_self_16);
}

// ---- area blocks ------------------------------------------------------------------

unsigned size_class_for(size_t n) {
    static constexpr uint8_t kByFloor[64] = {
        1, 2, 3, 4, 5, 5, 6, 6, 7, 7, 7, 7, 8, 8, 9, 9,
        10, 10, 10, 10, 10, 10, 10, 10, 11, 11, 11, 11, 11, 11, 11, 11,
        12, 12, 12, 12, 12, 12, 12, 12, 13, 13, 13, 13, 13, 13, 13, 13,
        14, 14, 14, 14, 14, 14, 14, 14, 14, 14, 14, 14, 14, 14, 14, 14};
    size_t f = n / 32;
    return f < 64 ? kByFloor[f] : 15;
}

namespace {

AreaBlock alloc_word_area(size_t n) {
    WordPages& w = g_mem->words;
    size_t units = n / 4 + 1;
    if (units < kWordPageUnits) {
        uint32_t& from = w.fit_from[units];
        int p = static_cast<int>(std::max<uint32_t>(w.first_search, from));
        for (; p <= w.last_in_use; ++p) {
            if (w.used[p] + units <= kWordPageUnits) {
                from = static_cast<uint32_t>(p);
                unsigned off = w.used[p];
                w.used[p] = static_cast<uint16_t>(off + units);
                uint8_t* ptr = w.pages[p] + off * 4;
                std::memset(ptr, 0, units * 4);
                return {ptr, AreaAddr{static_cast<uint32_t>(p) << 10 | off}};
            }
        }
        from = static_cast<uint32_t>(p);
    }
    size_t span = units < kWordPageUnits ? 1 : units / kWordPageUnits + 1;
    size_t first = static_cast<size_t>(w.last_in_use + 1);
    size_t last = first + span - 1;
    if (last > kMaxWordPage) raise_runtime(err::area_word_pages);
    if (last >= w.pages.size()) {
        size_t grow = (span + 127) / 128 * 128;
        w.pages.resize(w.pages.size() + grow, nullptr);
        w.used.resize(w.pages.size(), 0);
        w.owns.resize(w.pages.size(), 0);
        sync_area_tables();
    }
    auto* block = static_cast<uint8_t*>(checked_calloc(span * kWordPageBytes));
    for (size_t i = 0; i < span; ++i) {
        w.pages[first + i] = block + i * kWordPageBytes;
        w.owns[first + i] = (i == 0);
        w.used[first + i] = kWordPageUnits;
    }
    w.used[last] = static_cast<uint16_t>(span == 1 ? units : units % kWordPageUnits);
    w.last_in_use = static_cast<int>(last);
    return {block, AreaAddr{static_cast<uint32_t>(first) << 10}};
}

AreaBlock alloc_large(size_t n) {
    LargeBlocks& lb = g_mem->large;
    uint32_t index;
    if (lb.freed > 0) {
        index = static_cast<uint32_t>(lb.highest_freed);
        --lb.freed;
        int64_t h = static_cast<int64_t>(index) - 1;
        while (h >= 0 && lb.table[h] != nullptr) --h;
        lb.highest_freed = h;
    } else {
        if (lb.next >= kMaxLargeBlocks) raise_runtime(err::area_large_blocks);
        if (lb.next >= lb.table.size()) {
            lb.table.resize(lb.table.size() + 512, nullptr);
            lb.sizes.resize(lb.table.size(), 0);
            sync_area_tables();
        }
        index = lb.next++;
    }
    void* p = checked_malloc(n);
    lb.table[index] = p;
    lb.sizes[index] = n;
    return {p, AreaAddr{0xF00000u | index}};
}

uint8_t* new_class_page(unsigned c) {
    size_t bytes = kClassSize[c] * kClassSlots[c] + 8;
    auto* page = static_cast<uint8_t*>(checked_malloc(bytes));
    *page_header(page) = ClassPageHeader{0, 0, 0, 0};
    return page;
}

AreaBlock alloc_class(unsigned c) {
    SizeClass& sc = g_mem->classes[c];
    unsigned page, slot;
    if (sc.pages_with_free > 0) {
        page = static_cast<unsigned>(sc.highest_free_page);
        uint8_t* base = sc.pages[page];
        ClassPageHeader* h = page_header(base);
        slot = h->hint;
        if (--h->free_count > 0) {
            int s = static_cast<int>(slot) - 1;
            while (s >= 0 && !has_marker(class_slot(c, base, s))) --s;
            if (s >= 0) h->hint = static_cast<uint16_t>(s);
            else h->free_count = 0;
        }
        if (h->free_count == 0) {
            --sc.pages_with_free;
            // No other page holds free slots when the count says so.
            int p = sc.pages_with_free == 0 ? -1 : static_cast<int>(page) - 1;
            while (p >= 0 && page_header(sc.pages[p])->free_count == 0) --p;
            sc.highest_free_page = p;
            if (p < 0) sc.pages_with_free = 0;
        }
        // A slot handed out again must not keep its marker: a block the
        // caller leaves unwritten would otherwise be found free by a later scan.
        class_slot(c, base, slot)[0] = 0;
    } else {
        if (sc.current < 0 || page_header(sc.pages[sc.current])->bumped >= kClassSlots[c]) {
            unsigned next = static_cast<unsigned>(sc.current + 1);
            if (next >= kMaxClassPages) raise_runtime(err::area_class_pages, c);
            if (next >= sc.pages.size()) {
                sc.pages.resize(sc.pages.size() + 256, nullptr);
                sync_area_tables();
            }
            sc.pages[next] = new_class_page(c);
            sc.current = static_cast<int>(next);
        }
        page = static_cast<unsigned>(sc.current);
        slot = page_header(sc.pages[page])->bumped++;
    }
    return {class_slot(c, sc.pages[page], slot), AreaAddr{c << 20 | page << 8 | slot}};
}

}  // namespace

AreaBlock area_alloc(size_t n) {
    if (!g_mem->run) return alloc_word_area(n);
    unsigned c = size_class_for(n);
    return c == 15 ? alloc_large(n) : alloc_class(c);
}

void area_free(AreaAddr addr) {
    if (!g_mem->run) return;
    unsigned c = addr.area_class();
    if (c == 0) return;
    if (c == 15) {
        LargeBlocks& lb = g_mem->large;
        uint32_t index = addr.bits & 0xFFFFF;
        if (index >= lb.next || !lb.table[index]) return;
        std::free(lb.table[index]);
        memory_given_back(lb.sizes[index]);
        lb.table[index] = nullptr;
        if (lb.freed == 0 || lb.highest_freed < static_cast<int64_t>(index)) lb.highest_freed = index;
        ++lb.freed;
        return;
    }
    SizeClass& sc = g_mem->classes[c];
    unsigned page = (addr.bits >> 8) & 0xFFF, slot = addr.bits & 0xFF;
    if (static_cast<int>(page) > sc.current || slot >= kClassSlots[c]) return;
    uint8_t* base = sc.pages[page];
    std::memcpy(class_slot(c, base, slot), kFreeSlotMarker, sizeof kFreeSlotMarker);
    ClassPageHeader* h = page_header(base);
    if (h->free_count == 0) {
        ++sc.pages_with_free;
        h->hint = static_cast<uint16_t>(slot);
    } else if (h->hint < slot) {
        h->hint = static_cast<uint16_t>(slot);
    }
    ++h->free_count;
    if (sc.highest_free_page < 0 || sc.highest_free_page < static_cast<int>(page)) sc.highest_free_page = static_cast<int>(page);
}

size_t area_block_size(AreaAddr addr) {
    unsigned c = addr.area_class();
    if (c == 0) return 0;
    if (c == 15) {
        uint32_t index = addr.bits & 0xFFFFF;
        return index < g_mem->large.next ? g_mem->large.sizes[index] : 0;
    }
    return kClassSize[c];
}

// ---- the error reserve ----------------------------------------------------------------
// Word page 1023 is never opened by allocation (the pages stop at 1022).  It
// holds the block an error object is built in once the allocator itself has
// failed, so that reporting the failure takes nothing from the area that
// failed.  The block is static and outside every page that is walked or
// freed; each use overwrites the one before.
AreaBlock area_error_reserve() {
    alignas(8) static uint8_t reserve[kErrorReserveBytes];
    WordPages& w = g_mem->words;
    if (w.pages.size() <= kErrorReservePage) {
        w.pages.resize(kErrorReservePage + 1, nullptr);
        w.used.resize(w.pages.size(), 0);
        w.owns.resize(w.pages.size(), 0);
        sync_area_tables();
    }
    w.pages[kErrorReservePage] = reserve;
    w.used[kErrorReservePage] = kWordPageUnits;
    w.owns[kErrorReservePage] = 0;
    std::memset(reserve, 0, sizeof reserve);
    return {reserve, AreaAddr{kErrorReservePage << 10}};
}

// ---- phases and state ----------------------------------------------------------------

bool run_phase() { return g_mem->run; }
void enter_run_phase() {
    g_mem->run = true;
    g_cells->run = true;
}

void area_seal_pages() {
    WordPages& w = g_mem->words;
    w.first_search = static_cast<unsigned>(w.last_in_use + 1);
}

void memory_reset() {
    ++g_memory_generation;
    delete g_mem;
    g_mem = new Memory();
    g_memory_count.taken = 0;
    delete_cell_pages(g_cells);
    g_cells = new_cell_pages();
    g_cell_pages = g_cells->pages;
    sync_area_tables();
}

unsigned cell_pages_in_use() { return static_cast<unsigned>(g_cells->bump_page + 1); }

uint8_t* cell_page_append() {
    CellPages& cp = *g_cells;
    unsigned next = static_cast<unsigned>(cp.bump_page + 1);
    if (next >= kMaxCellPages) raise_runtime(err::area_cell16_pages);
    if (!cp.pages[next]) cp.pages[next] = static_cast<uint8_t*>(checked_malloc(kCellPageBytes));
    std::memset(cp.pages[next], 0, kCellPageBytes);
    cp.bump_page = static_cast<int>(next);
    cp.bump_slot = kCellsPerPage;
    cp.info[next].raw = 1;
    return cp.pages[next];
}

unsigned word_pages_in_use() { return static_cast<unsigned>(g_mem->words.last_in_use + 1); }

uint8_t* word_page_append(unsigned used_units) {
    WordPages& w = g_mem->words;
    size_t next = static_cast<size_t>(w.last_in_use + 1);
    if (next > kMaxWordPage) raise_runtime(err::area_word_pages);
    if (next >= w.pages.size()) {
        w.pages.resize(w.pages.size() + 128, nullptr);
        w.used.resize(w.pages.size(), 0);
        w.owns.resize(w.pages.size(), 0);
        sync_area_tables();
    }
    w.pages[next] = static_cast<uint8_t*>(checked_calloc(kWordPageBytes));
    w.owns[next] = 1;
    w.used[next] = static_cast<uint16_t>(used_units > kWordPageUnits ? kWordPageUnits : used_units);
    w.last_in_use = static_cast<int>(next);
    return w.pages[next];
}

uint8_t* word_pages_append(const uint32_t* used_units, unsigned count) {
    WordPages& w = g_mem->words;
    size_t first = static_cast<size_t>(w.last_in_use + 1);
    if (count == 0) return nullptr;
    if (first + count - 1 > kMaxWordPage) raise_runtime(err::area_word_pages);
    if (first + count > w.pages.size()) {
        size_t size = (first + count + 127) / 128 * 128;
        w.pages.resize(size, nullptr);
        w.used.resize(size, 0);
        w.owns.resize(size, 0);
        sync_area_tables();
    }
    auto* block = static_cast<uint8_t*>(checked_calloc(size_t{count} * kWordPageBytes));
    for (unsigned i = 0; i < count; ++i) {
        w.pages[first + i] = block + size_t{i} * kWordPageBytes;
        w.owns[first + i] = (i == 0);
        w.used[first + i] = static_cast<uint16_t>(std::min<uint32_t>(used_units[i], kWordPageUnits));
    }
    w.last_in_use = static_cast<int>(first + count - 1);
    return block;
}

MemoryStats memory_stats() {
    const Memory& m = *g_mem;
    const CellPages& c = *g_cells;
    unsigned class_pages = 0, class_live = 0;
    for (unsigned k = 1; k < 15; ++k) {
        const SizeClass& sc = m.classes[k];
        for (int p = 0; p <= sc.current; ++p) {
            const ClassPageHeader* h = page_header(sc.pages[p]);
            ++class_pages;
            class_live += h->bumped - h->free_count;
        }
    }
    return {static_cast<unsigned>(c.bump_page + 1),
            c.total_free,
            c.highest_free_page,
            m.words.last_in_use + 1,
            static_cast<unsigned>(c.bump_slot),
            class_pages,
            static_cast<unsigned>(m.large.next - m.large.freed),
            class_live};
}

uint8_t* cell_page(unsigned index) {
    return static_cast<int>(index) <= g_cells->bump_page ? g_cells->pages[index] : nullptr;
}
uint8_t* word_page(unsigned index) {
    return static_cast<int>(index) <= g_mem->words.last_in_use ? g_mem->words.pages[index] : nullptr;
}
unsigned word_page_used(unsigned index) {
    return static_cast<int>(index) <= g_mem->words.last_in_use ? g_mem->words.used[index] : 0;
}

}  // namespace koru
