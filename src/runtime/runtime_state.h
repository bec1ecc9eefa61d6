// The state of values and memory: the allocators' books, the limits of the
// request and the symbol table. The engine (host/engine.h) owns one of each.
#pragma once
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace koru {

constexpr unsigned kMaxCellPages = 4095;        // page indexes 0..4094
constexpr unsigned kWordPageBytes = 4096;
constexpr unsigned kWordPageUnits = 1024;       // 4-byte units per word page
constexpr unsigned kMaxWordPage = 1022;
constexpr unsigned kClassCount = 15;            // classes 1..14 and 15 (large)
constexpr unsigned kMaxClassPages = 4096;
constexpr uint32_t kMaxLargeBlocks = 0x100000;

// What the allocator knows of one cell page.  The bitmap mirrors the free
// headers, so the next free slot below a taken one is found without reading
// the cells; an image page (loaded whole, free headers included) is not in
// the bitmap and is searched by its headers.
struct CellPageInfo {
    uint64_t free_bits[4];
    uint16_t free_count;
    uint8_t high_free;      // highest known free slot
    uint8_t raw;            // an image page: search the headers
};

// The cell allocator's state: one zeroed allocation, so the parts a request
// never reaches are never touched.  Exposed for the inline fast paths.
struct CellPages {
    int bump_page;
    unsigned bump_slot;
    unsigned total_free;
    int highest_free_page;
    bool run;               // freed cells are reused
    uint8_t* pages[kMaxCellPages];
    CellPageInfo info[kMaxCellPages];
};
// The page tables behind area_ptr, kept current by the allocator.
struct AreaTables {
    uint8_t* const* words = nullptr;                // class 0
    void* const* large = nullptr;                   // class 15
    uint8_t* const* classes[kClassCount] = {};      // classes 1..14
};

struct Memory;  // the area allocator's books (area.cpp)

struct MemoryState {
    Memory* books;
    CellPages* cells;
    uint8_t** cell_pages;    // cells->pages, for the inline cell_of
    AreaTables area;
    // Counts memory resets: what is kept about cells by their address is
    // stale once it changes.
    uint32_t generation = 0;
    MemoryState();           // the first pages (area.cpp)
};

// Bytes the allocators hold from the system, and the most they may hold.
struct MemoryCount {
    size_t taken = 0;
    size_t cap = SIZE_MAX;
};

struct LimitState {
    // Which limit the request has passed: 0 none, else the code of the CPU or
    // the memory limit. Set by the timer's signal handler and by the memory count.
    volatile std::sig_atomic_t passed = 0;
    MemoryCount count;
    bool timer_armed = false;
};

// The process-wide symbol table: every identifier and property name is
// interned once and referred to by its symbol number.
struct SymbolEntry {
    uint8_t zero;
    uint8_t length;     // name length (8 bits)
    uint16_t zero2;
    uint32_t key;
    uint32_t offset;    // of the NUL-terminated name in the pool
};
static_assert(sizeof(SymbolEntry) == 12);

struct SymbolIndexEntry {
    uint32_t key;
    uint32_t number;
};

struct SymbolTable {
    std::vector<SymbolEntry> entries;
    std::vector<SymbolIndexEntry> index;  // sorted by key (unsigned)
    std::vector<char> pool;
    void reset();
};

}  // namespace koru
