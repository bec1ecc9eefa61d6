#include "host/objwrite.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>

#include "compiler/module.h"
#include "compiler/state.h"
#include "host/objfile.h"
#include "host/objlayout.h"
#include "host/process.h"
#include "runtime/area.h"
#include "runtime/symbols.h"

namespace koru {

namespace {

void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void put_bytes(std::vector<uint8_t>& out, const void* p, size_t n) {
    auto* b = static_cast<const uint8_t*>(p);
    out.insert(out.end(), b, b + n);
}

void section(std::vector<uint8_t>& out, ObjSection tag, uint32_t size) {
    put32(out, static_cast<uint32_t>(tag));
    put32(out, size);
}

// The size word of a page section: b whole units of `per_page` and a rest.
uint32_t page_size_word(uint64_t units, unsigned per_page) {
    return static_cast<uint32_t>((units / per_page) << 16 | (units % per_page));
}

// The process's compiled module seen from page 0 on, with the relocation
// lists the walk fills.
class ProcessMemory : public CompiledMemory {
public:
    ProcessMemory() : stats_(memory_stats()) {}

    const Cell* cell(Value v) override {
        if (v.page() >= stats_.cell_pages_used) bad();
        return cell_of(v);
    }
    const uint32_t* words(AreaAddr a, uint64_t count) override {
        uint64_t first = ((a.bits >> 10) & 0x3FF) * uint64_t{kWordPageUnits} + (a.bits & 0x3FF);
        if (a.area_class() != 0 || first + count > uint64_t{kWordPageUnits} * words_used()) bad();
        return area_as<uint32_t>(a);
    }
    void check_symbol(uint32_t n) override {
        if (n >= symbol_count()) bad();
    }
    void relocate(WordSite site, Reloc kind) override {
        lists[(site.in_cells ? 0 : 3) + static_cast<unsigned>(kind)].push_back(site.position);
    }
    [[noreturn]] void bad() override {
        throw std::runtime_error("the compiled module holds a value an object image cannot carry");
    }

    unsigned cell_pages() const { return stats_.cell_pages_used; }
    unsigned words_used() const { return static_cast<unsigned>(std::max(stats_.word_pages_used, 0)); }

    // Cell symbols, cell refs, cell addresses, then the same for word pages:
    // the order of the section tags 0x0500 .. 0x0A00.
    std::array<std::vector<uint32_t>, 6> lists;

private:
    MemoryStats stats_;
};

// The cells handed out: whole pages, and the last one up to its bump slot
// (the slots after it hold whatever the allocation held).
void cell_pages_section(std::vector<uint8_t>& out, unsigned pages, unsigned last_page_cells) {
    uint64_t cells = pages ? uint64_t{pages - 1} * kCellsPerPage + last_page_cells : 0;
    section(out, ObjSection::CellPages, page_size_word(cells, kCellsPerPage));
    for (unsigned p = 0; p < pages; ++p)
        put_bytes(out, cell_page(p), p + 1 < pages ? kCellPageBytes : last_page_cells * kCellSize);
}

void word_pages_section(std::vector<uint8_t>& out, unsigned pages) {
    section(out, ObjSection::WordPages, page_size_word(uint64_t{pages} * kWordPageUnits, kWordPageUnits));
    for (unsigned p = 0; p < pages; ++p) put_bytes(out, word_page(p), kWordPageBytes);
    for (unsigned p = 0; p < pages; ++p) put32(out, word_page_used(p));
}

void symbols_section(std::vector<uint8_t>& out) {
    const SymbolTable& t = g_symbols;
    section(out, ObjSection::Symbols, static_cast<uint32_t>(t.entries.size()));
    put_bytes(out, t.entries.data(), t.entries.size() * sizeof(SymbolEntry));
    for (const SymbolIndexEntry& e : t.index) {
        put32(out, e.key);
        put32(out, e.number);
    }
    put32(out, static_cast<uint32_t>(t.pool.size()));
    put_bytes(out, t.pool.data(), t.pool.size());
}

void word_list_section(std::vector<uint8_t>& out, ObjSection tag, const std::vector<uint32_t>& words) {
    section(out, tag, static_cast<uint32_t>(words.size()));
    for (uint32_t w : words) put32(out, w);
}

constexpr ObjSection kRelocationTags[6] = {ObjSection::CellSymbols, ObjSection::CellCellRefs,
                                           ObjSection::CellAreaAddrs, ObjSection::WordSymbols,
                                           ObjSection::WordCellRefs, ObjSection::WordAreaAddrs};

}  // namespace

std::vector<uint8_t> write_object_image(const std::vector<Value>& statements, const std::vector<uint32_t>& globals,
                                        bool compress) {
    ProcessMemory memory;
    walk_compiled(statements, memory);
    std::vector<uint8_t> stream;
    cell_pages_section(stream, memory.cell_pages(), std::min(memory_stats().cell_bump_slot, kCellsPerPage));
    word_pages_section(stream, memory.words_used());
    symbols_section(stream);
    word_list_section(stream, ObjSection::Globals, globals);
    for (unsigned i = 0; i < 6; ++i) {
        std::vector<uint32_t>& list = memory.lists[i];
        std::sort(list.begin(), list.end());
        list.erase(std::unique(list.begin(), list.end()), list.end());
        word_list_section(stream, kRelocationTags[i], list);
    }
    std::vector<uint32_t> roots;
    for (Value v : statements) roots.push_back(v.bits);
    word_list_section(stream, ObjSection::Statements, roots);

    std::vector<uint8_t> image;
    put32(image, static_cast<uint32_t>(stream.size()));
    std::vector<uint8_t> coded = compress ? compress_object_stream(stream) : std::vector<uint8_t>{};
    // A coded stream exactly as long as the plain one would read as stored.
    const std::vector<uint8_t>& body = compress && coded.size() != stream.size() ? coded : stream;
    put32(image, static_cast<uint32_t>(body.size()));
    image.insert(image.end(), body.begin(), body.end());
    return image;
}

std::vector<uint8_t> compile_object_image(const char* path, std::string text, bool compress) {
    process_reset();
    g_compiler.module = 1;
    std::vector<Value> statements;
    compile_module(path, text.data(), statements);
    return write_object_image(statements, g_compiler.globals, compress);
}

}  // namespace koru
