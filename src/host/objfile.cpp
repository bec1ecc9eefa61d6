#include "host/objfile.h"

#include <algorithm>
#include <cstring>

#include "host/errors.h"
#include "host/objlayout.h"
#include "interp/globals.h"
#include "runtime/area.h"
#include "runtime/cell.h"
#include "runtime/refcount.h"
#include "runtime/symbol_text_index.h"
#include "runtime/symbols.h"

namespace koru {

namespace {

uint32_t read32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// A copy of `n` bytes; an empty section may bring no buffer at all, and
// memcpy must not see a null pointer even for nothing.
void copy_bytes(void* to, const void* from, size_t n) {
    if (n) std::memcpy(to, from, n);
}

// ---- expansion ---------------------------------------------------------------------

class Expander {
public:
    Expander(const uint8_t* in, size_t len, size_t expanded, const char* path)
        : in_(in), len_(len), limit_(expanded + 512), path_(path) {
        // The stated length is only a promise: room for what these bytes
        // can expand to, never more.
        out_.reserve(std::min<uint64_t>(expanded, max_object_expansion(len)));
    }

    std::vector<uint8_t> run() {
        if (len_ < 6) fail();
        r_ = in_[0];
        z_[0] = in_[1];
        z_[1] = in_[2];
        z_[2] = in_[3];
        k_ = in_[4];
        n_ = in_[5];
        size_t table = 6 + 2 * static_cast<size_t>(n_) + k_;
        if (k_ > n_ || table > len_) fail();
        codes_ = in_ + 6;
        values_ = codes_ + n_;
        counts_ = values_ + n_;
        pos_ = table;
        while (pos_ < len_) step(in_[pos_++]);
        return std::move(out_);
    }

private:
    [[noreturn]] void fail() {
        raise_runtime(err::object_file_compression, path_);
    }
    uint8_t next_byte() {
        if (pos_ >= len_) fail();
        return in_[pos_++];
    }
    void zeros(size_t n) {
        if (out_.size() + n > limit_) fail();
        out_.insert(out_.end(), n, 0);
    }
    void byte(uint8_t b) {
        if (out_.size() + 1 > limit_) fail();
        out_.push_back(b);
    }

    void step(uint8_t x) {
        if (x == 0) return zeros(1);
        for (int z = 0; z < 3; ++z) {
            if (x != z_[z]) continue;
            // A marker twice stands for the marker byte itself.
            if (pos_ < len_ && in_[pos_] == x) {
                ++pos_;
                return byte(x);
            }
            return zeros(static_cast<size_t>(z) + 2);
        }
        if (x == r_) {
            uint8_t n = next_byte();
            return n ? zeros(n) : byte(r_);
        }
        const uint8_t* code = static_cast<const uint8_t*>(std::memchr(codes_, x, n_));
        if (!code) return byte(x);
        size_t i = static_cast<size_t>(code - codes_);
        uint8_t v = values_[i];
        unsigned n;
        if (i < k_) {
            n = counts_[i];
        } else {
            n = next_byte();
            if (n == 254) return byte(x);
        }
        if (n > 4) {
            zeros(n - 3);
            byte(v);
        } else {
            byte(v);
            zeros(n);
        }
    }

    const uint8_t* in_;
    size_t len_, limit_;
    const char* path_;
    std::vector<uint8_t> out_;
    uint8_t r_ = 0, z_[3] = {}, k_ = 0, n_ = 0;
    const uint8_t *codes_ = nullptr, *values_ = nullptr, *counts_ = nullptr;
    size_t pos_ = 0;
};

// ---- the section reader -----------------------------------------------------------------

class ImageLoader {
public:
    ImageLoader(const uint8_t* s, size_t len, unsigned module, const char* path, std::vector<Value>& statements)
        : s_(s), len_(len), module_(module), path_(path), statements_(statements) {
        p_ = cell_pages_in_use();
        f_ = word_pages_in_use();
    }

    void run() {
        size_t pos = 0;
        while (pos < len_) {
            if (len_ - pos < 8) bad_length();
            uint32_t tag = read32(s_ + pos);
            if (tag == static_cast<uint32_t>(ObjSection::End)) break;
            uint32_t size = read32(s_ + pos + 4);
            pos += 8;
            pos = section(tag, size, pos);
        }
        // Later compile-area blocks never share a page with the image.
        area_seal_pages();
        validate();
        for (Value v : roots_) statements_.push_back(value_retain(v));
    }

private:
    [[noreturn]] void bad_length() { raise_runtime(err::object_file_length, path_); }
    [[noreturn]] void bad_reference() {
        raise_runtime(err::object_file_reference, path_);
    }
    [[noreturn]] void bad_symbols() { raise_runtime(err::object_file_symbols, path_); }

    // The data of a section: `bytes` must lie within the stream.
    const uint8_t* take(size_t pos, uint64_t bytes) {
        if (bytes > len_ - pos) bad_length();
        return s_ + pos;
    }

    static uint32_t pages_of(uint32_t size) {
        uint32_t a = size & 0xFFFF, b = size >> 16;
        return a ? b + 1 : b;
    }

    size_t section(uint32_t tag, uint32_t size, size_t pos) {
        switch (static_cast<ObjSection>(tag)) {
        case ObjSection::CellPages: return cell_pages(size, pos);
        case ObjSection::WordPages: return word_pages(size, pos);
        case ObjSection::Symbols: return symbols(size, pos);
        case ObjSection::Globals: return globals(size, pos);
        case ObjSection::CellSymbols:
        case ObjSection::CellCellRefs:
        case ObjSection::CellAreaAddrs:
        case ObjSection::WordSymbols:
        case ObjSection::WordCellRefs:
        case ObjSection::WordAreaAddrs: return relocations(static_cast<ObjSection>(tag), size, pos);
        case ObjSection::Statements: return statements(size, pos);
        default:
            raise_runtime(err::object_file_section, tag, path_);
        }
    }

    size_t cell_pages(uint32_t size, size_t pos) {
        if (cell_pages_ || cells_ != 0) bad_length();  // one cell-page section per image
        uint64_t cells = static_cast<uint64_t>(size >> 16) * 256 + (size & 0xFFFF);
        uint32_t m = pages_of(size);
        if (cells > uint64_t{m} * kCellsPerPage) bad_length();  // a rest of more than a page
        const uint8_t* data = take(pos, cells * kCellSize);
        if (p_ + m > kMaxCellPages - 1) raise_runtime(err::area_cell16_pages);
        for (uint32_t i = 0; i < m; ++i) {
            uint8_t* page = cell_page_append();
            uint64_t n = std::min<uint64_t>(kCellsPerPage, cells - static_cast<uint64_t>(i) * kCellsPerPage);
            std::memcpy(page, data + static_cast<size_t>(i) * kCellPageBytes, static_cast<size_t>(n) * kCellSize);
            for (uint64_t c = 0; c < n; ++c) {
                uint8_t* cell = page + c * kCellSize;
                Kind k = static_cast<Kind>(cell[0] & 0xF);
                if (k == Kind::Instruction || k == Kind::Function)
                    cell[1] = static_cast<uint8_t>((cell[1] & 0x80) | (module_ & 0x7F));
            }
        }
        cell_pages_ = m;
        cells_ = cells;
        return pos + static_cast<size_t>(cells * kCellSize);
    }

    size_t word_pages(uint32_t size, size_t pos) {
        if (word_pages_) bad_length();
        uint64_t words = static_cast<uint64_t>(size >> 16) * 1024 + (size & 0xFFFF);
        uint32_t m = pages_of(size);
        // A rest of more than a page would not fit the m pages it is copied to.
        if (words > uint64_t{m} * kWordPageUnits) bad_length();
        const uint8_t* data = take(pos, words * 4 + static_cast<uint64_t>(m) * 4);
        const uint8_t* used = data + words * 4;
        if (f_ + m > kMaxWordPage) raise_runtime(err::area_word_pages);
        std::vector<uint32_t> counts(m);
        for (uint32_t i = 0; i < m; ++i) {
            counts[i] = read32(used + size_t{i} * 4);
            if (counts[i] > kWordPageUnits) bad_length();
        }
        // One allocation: a block the compiler spread over several pages
        // stays contiguous.
        uint8_t* pages = word_pages_append(counts.data(), m);
        copy_bytes(pages, data, static_cast<size_t>(words) * 4);
        word_pages_ = m;
        return pos + static_cast<size_t>(words * 4 + static_cast<uint64_t>(m) * 4);
    }

    size_t symbols(uint32_t count, size_t pos) {
        uint64_t head = static_cast<uint64_t>(count) * 20;
        const uint8_t* recs = take(pos, head + 4);
        const uint8_t* index = recs + static_cast<size_t>(count) * 12;
        uint32_t text_size = read32(recs + head);
        const uint8_t* text = take(pos + static_cast<size_t>(head) + 4, text_size);
        std::vector<SymbolEntry> entries(count);
        copy_bytes(entries.data(), recs, static_cast<size_t>(count) * 12);
        for (const SymbolEntry& e : entries) {
            // A name and its terminating zero lie within the text; the key is the name's.
            if (static_cast<uint64_t>(e.offset) + e.length >= text_size || text[e.offset + e.length] != 0) bad_symbols();
            if (e.key != symbol_key(reinterpret_cast<const char*>(text + e.offset), e.length)) bad_symbols();
        }
        if (symbol_count() == kPredefinedSymbols) {
            replace_table(entries, index, count, text, text_size);
        } else {
            translate_.resize(count);
            for (uint32_t i = 0; i < count; ++i)
                translate_[i] = intern(reinterpret_cast<const char*>(text + entries[i].offset), entries[i].length,
                                       entries[i].key);
            merged_ = true;
        }
        return pos + static_cast<size_t>(head) + 4 + text_size;
    }

    // The image's table becomes the process's: it must begin with the
    // predefined names, and its index must be sorted and complete.
    void replace_table(const std::vector<SymbolEntry>& entries, const uint8_t* index, uint32_t count,
                       const uint8_t* text, uint32_t text_size) {
        if (count < kPredefinedSymbols) bad_symbols();
        for (uint32_t i = 0; i < kPredefinedSymbols; ++i) {
            const char* name = reinterpret_cast<const char*>(text + entries[i].offset);
            if (entries[i].length != std::strlen(kPredefinedNames[i]) ||
                std::memcmp(name, kPredefinedNames[i], entries[i].length) != 0)
                bad_symbols();
        }
        std::vector<SymbolIndexEntry> idx(count);
        copy_bytes(idx.data(), index, static_cast<size_t>(count) * 8);
        std::vector<uint8_t> seen(count, 0);
        for (uint32_t i = 0; i < count; ++i) {
            if (idx[i].number >= count || seen[idx[i].number] || idx[i].key != entries[idx[i].number].key) bad_symbols();
            seen[idx[i].number] = 1;
            if (i && idx[i - 1].key > idx[i].key) bad_symbols();
        }
        g_symbols.entries = entries;
        g_symbols.index = std::move(idx);
        g_symbols.pool.assign(text, text + text_size);
        symbols_replaced();
    }

    uint32_t symbol(uint32_t n) {
        if (!merged_) return n;
        if (n >= translate_.size()) bad_symbols();
        return translate_[n];
    }

    size_t globals(uint32_t count, size_t pos) {
        const uint8_t* words = take(pos, static_cast<uint64_t>(count) * 4);
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t sym = symbol(read32(words + size_t{i} * 4) & 0x0FFFFFFF);
            if (sym >= symbol_count()) bad_symbols();
            if (global_find(sym) < 0) global_bind(sym, kUndefinedValue);
        }
        return pos + static_cast<size_t>(count) * 4;
    }

    // The word a relocation position names, within the new pages.
    uint8_t* located(ObjSection kind, uint32_t position) {
        bool in_cells = kind <= ObjSection::CellAreaAddrs;
        if (in_cells) {
            uint32_t page = position >> 16, word = position & 0xFFFF;
            uint64_t byte = static_cast<uint64_t>(page) * kCellPageBytes + static_cast<uint64_t>(word) * 4;
            if (page >= cell_pages_ || word >= 1024 || byte + 4 > cells_ * kCellSize) bad_reference();
            return cell_page(p_ + page) + word * 4;
        }
        uint32_t page = position / 1024, word = position % 1024;
        if (page >= word_pages_) bad_reference();
        return word_page(f_ + page) + word * 4;
    }

    // A cell reference of the image: its page is among the new pages.
    void check_cell_ref(uint32_t w) {
        uint32_t page = (w >> 8) & 0xFFF, slot = w & 0xFF;
        if (page >= cell_pages_ || static_cast<uint64_t>(page) * kCellsPerPage + slot >= cells_) bad_reference();
    }

    size_t relocations(ObjSection kind, uint32_t count, size_t pos) {
        const uint8_t* list = take(pos, static_cast<uint64_t>(count) * 4);
        for (uint32_t i = 0; i < count; ++i) {
            uint8_t* at = located(kind, read32(list + size_t{i} * 4));
            uint32_t w = read32(at);
            switch (kind) {
            case ObjSection::CellSymbols:
            case ObjSection::WordSymbols:
                w = (w & 0xFF000000) | symbol(w & 0x00FFFFFF);
                break;
            case ObjSection::CellCellRefs:
            case ObjSection::WordCellRefs:
                check_cell_ref(w);
                w += p_ * 256;
                break;
            default:
                if (((w >> 20) & 0xF) != 0 || ((w >> 10) & 0x3FF) >= word_pages_) bad_reference();
                w += f_ * 1024;
                break;
            }
            std::memcpy(at, &w, 4);
        }
        return pos + static_cast<size_t>(count) * 4;
    }

    size_t statements(uint32_t count, size_t pos) {
        const uint8_t* list = take(pos, static_cast<uint64_t>(count) * 4);
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t w = read32(list + size_t{i} * 4);
            check_cell_ref(w);
            Value v(w + p_ * 256);
            const Cell* c = cell_of(v);
            if (!is_cell_kind(v.kind()) || c->type() != v.kind()) bad_reference();
            roots_.push_back(v);
        }
        return pos + static_cast<size_t>(count) * 4;
    }

    // What the interpreter will run must not reach outside the image: every
    // reference a statement leads to lies in the new pages (or is a
    // permanent cell of the process), every block within the new word pages.
    class ImageMemory : public CompiledMemory {
    public:
        explicit ImageMemory(ImageLoader& l) : l_(l) {}
        const Cell* cell(Value v) override {
            uint32_t page = v.page();
            if (page >= l_.p_ && page - l_.p_ < l_.cell_pages_ &&
                static_cast<uint64_t>(page - l_.p_) * kCellsPerPage + v.slot() < l_.cells_)
                return cell_of(v);
            // A permanent cell of the process is not walked, but it is read
            // as what the reference says it is.
            if (page < l_.p_ && cell_page(page) && cell_of(v)->header >= kSaturatedCount &&
                cell_of(v)->header != kFreeCellHeader && cell_of(v)->type() == v.kind())
                return nullptr;
            l_.bad_reference();
        }
        const uint32_t* words(AreaAddr a, uint64_t count) override {
            uint64_t first = ((a.bits >> 10) & 0x3FF) * uint64_t{kWordPageUnits} + (a.bits & 0x3FF);
            uint64_t begin = uint64_t{l_.f_} * kWordPageUnits, end = begin + uint64_t{l_.word_pages_} * kWordPageUnits;
            if (a.area_class() != 0 || first < begin || count > end - first || first > end) l_.bad_reference();
            return reinterpret_cast<const uint32_t*>(word_page(l_.f_)) + (first - begin);
        }
        void check_symbol(uint32_t n) override {
            if (n >= symbol_count()) bad();
        }
        void relocate(WordSite, Reloc) override {}
        [[noreturn]] void bad() override { l_.bad_reference(); }

    private:
        ImageLoader& l_;
    };

    void validate() {
        ImageMemory memory(*this);
        walk_compiled(roots_, memory);
    }

    std::vector<Value> roots_;
    const uint8_t* s_;
    size_t len_;
    unsigned module_;
    const char* path_;
    std::vector<Value>& statements_;
    uint32_t p_, f_;                 // pages in use before the image
    uint32_t cell_pages_ = 0, word_pages_ = 0;
    uint64_t cells_ = 0;
    bool merged_ = false;
    std::vector<uint32_t> translate_;
};

}  // namespace

uint64_t max_object_expansion(uint64_t e) {
    if (e < 6) return 0;  // not even a table
    // Without fixed-count codes the most a byte pair gives is a run of 255
    // zeros and the most a single byte gives is Z3's four.
    uint64_t coded = e - 6;
    uint64_t best = coded / 2 * 255 + coded % 2 * 4;
    // A fixed-count code gives up to 253 bytes (count 255: 252 zeros and its
    // value) from one byte, and the table holding one takes three bytes.
    if (e > 9) best = std::max(best, (e - 9) * 253);
    return best;
}

std::vector<uint8_t> expand_object_stream(const uint8_t* stored, size_t stored_len, size_t expanded_len,
                                          const char* path) {
    return Expander(stored, stored_len, expanded_len, path).run();
}

void load_object_image(const uint8_t* data, size_t size, unsigned module, const char* path,
                       std::vector<Value>& statements) {
    if (size < 8) raise_runtime(err::object_file_length, path);
    uint32_t l = read32(data), e = read32(data + 4);
    // Both lengths are checked before anything is reserved for them: the
    // stored stream lies in the file, and a coded one cannot expand further
    // than its codes reach.
    if (e > size - 8) raise_runtime(err::object_file_length, path);
    if (e != l && l > max_object_expansion(e))
        raise_runtime(err::object_file_length, path);
    if (e == l) {
        ImageLoader(data + 8, l, module, path, statements).run();
        return;
    }
    std::vector<uint8_t> stream = expand_object_stream(data + 8, e, l, path);
    ImageLoader(stream.data(), std::min<size_t>(stream.size(), l), module, path, statements).run();
}

}  // namespace koru
