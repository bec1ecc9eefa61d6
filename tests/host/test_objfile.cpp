// Object images: expansion of coded streams, sections, relocation, and bad
// images that must end in an error rather than a crash.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "host/objfile.h"
#include "interp/globals.h"
#include "runtime/area.h"
#include "runtime/objects.h"
#include "runtime/symbols.h"
#include "support/fresh.h"

namespace koru {
namespace {

using testing::expect_raise;
using Bytes = std::vector<uint8_t>;

void put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

Bytes expand(const Bytes& coded, size_t expanded_len) {
    return expand_object_stream(coded.data(), coded.size(), expanded_len, "t.jo");
}

// Table: R=0xF0, Z1=0xF1, Z2=0xF2, Z3=0xF3; codes 0xC0 (fixed count 2, value
// 'a') and 0xC1 (count follows, value 'b').
Bytes coded(std::initializer_list<uint8_t> body) {
    Bytes b = {0xF0, 0xF1, 0xF2, 0xF3, 1, 2, 0xC0, 0xC1, 'a', 'b', 2};
    for (uint8_t x : body) b.push_back(x);
    return b;
}

class ObjectFile : public testing::Fresh {};

TEST_F(ObjectFile, ExpansionOfEveryCode) {
    struct { Bytes in; Bytes out; const char* what; } cases[] = {
        {coded({0}), {0}, "zero byte"},
        {coded({0xF1, 0xF1}), {0xF1}, "Z1 Z1 is one Z1 byte"},
        {coded({0xF1, 'x'}), {0, 0, 'x'}, "Z1 then a byte: two zeros and that byte"},
        {coded({0xF1, 0xF2, 0xF2}), {0, 0, 0xF2}, "Z1 then Z2 Z2"},
        {coded({0xF2}), {0, 0, 0}, "Z2 at the end"},
        {coded({0xF3, 7}), {0, 0, 0, 0, 7}, "Z3"},
        {coded({0xF0, 5}), {0, 0, 0, 0, 0}, "run of five zeros"},
        {coded({0xF0, 0}), {0xF0}, "run marker with zero count"},
        {coded({0xC0}), {'a', 0, 0}, "fixed count two: value then zeros"},
        {coded({0xC1, 3}), {'b', 0, 0, 0}, "count three follows"},
        {coded({0xC1, 7}), {0, 0, 0, 0, 'b'}, "count seven: four zeros then value"},
        {coded({0xC1, 254}), {0xC1}, "count 254 is the code byte"},
        {coded({'q', 'r'}), {'q', 'r'}, "other bytes stand for themselves"},
    };
    for (auto& c : cases) EXPECT_EQ(expand(c.in, c.out.size()), c.out) << c.what;
}

TEST_F(ObjectFile, ExpansionStaysWithinBounds) {
    struct { Bytes in; size_t len; } bad[] = {
        {{0xF0, 0xF1}, 0},                               // table cut short
        {{0xF0, 0xF1, 0xF2, 0xF3, 3, 1, 0xC0, 'a'}, 1},  // more fixed counts than codes
        {coded({0xF0}), 10},                             // run marker without its count
        {coded({0xF0, 255, 0xF0, 255, 0xF0, 255}), 10},  // expands past L + 512
        {coded({0xC1}), 10},                             // code without its count
    };
    for (auto& b : bad) EXPECT_EQ(expect_raise([&] { expand(b.in, b.len); }).code, "1445");
}

// A small image: cell 0 a String whose text is in word page 0, cell 1 an
// instruction (opcode 100, one operand: cell 0), a global name, and one
// top-level statement (cell 1).
struct Image {
    Bytes stream;
    uint32_t global_symbol = SYM_count;

    void section(uint32_t tag, uint32_t size, const Bytes& data) {
        put32(stream, tag);
        put32(stream, size);
        stream.insert(stream.end(), data.begin(), data.end());
    }
    static Bytes words(std::initializer_list<uint32_t> ws) {
        Bytes b;
        for (uint32_t w : ws) put32(b, w);
        return b;
    }
    Bytes file(bool end_tag = true) const {
        Bytes s = stream;
        if (end_tag) put32(s, 0xFFFFFFFF), put32(s, 0);
        Bytes f;
        put32(f, static_cast<uint32_t>(s.size()));
        put32(f, static_cast<uint32_t>(s.size()));
        f.insert(f.end(), s.begin(), s.end());
        return f;
    }
};

Image sample_image(bool with_symbols) {
    Image im;
    Bytes cells(32, 0);
    StringCell s{};
    s.header = 9;
    s.text = AreaAddr{0};  // word page 0, offset 0
    s.capacity = 8;
    s.length = 2;
    std::memcpy(cells.data(), &s, 16);
    InstrCell in{};
    in.header = 13;
    in.module = 0x80 | 5;  // the loader writes the module number, bit 7 kept
    in.nops = 1;
    in.opcode = 100;
    in.op0 = Value::cell(Kind::String, 0, 0).bits;
    in.position = 3;
    std::memcpy(cells.data() + 16, &in, 16);
    im.section(0x01000100, 2, cells);
    Bytes wp(8, 0);
    wp[0] = 'h';
    wp[1] = 'i';
    Bytes used = Image::words({2});
    wp.insert(wp.end(), used.begin(), used.end());
    im.section(0x01000200, 2, wp);
    if (with_symbols) {
        // The process's own table, plus one name.
        uint32_t extra = intern("fromImage");
        Bytes recs, idx, text;
        for (const SymbolEntry& e : g_symbols.entries) recs.insert(recs.end(), (uint8_t*)&e, (uint8_t*)&e + 12);
        for (const SymbolIndexEntry& e : g_symbols.index) idx.insert(idx.end(), (uint8_t*)&e, (uint8_t*)&e + 8);
        text.assign(g_symbols.pool.begin(), g_symbols.pool.end());
        Bytes data = recs;
        data.insert(data.end(), idx.begin(), idx.end());
        put32(data, static_cast<uint32_t>(text.size()));
        data.insert(data.end(), text.begin(), text.end());
        im.section(0x01000300, static_cast<uint32_t>(g_symbols.entries.size()), data);
        im.global_symbol = extra;
    }
    im.section(0x01000400, 1, Image::words({im.global_symbol}));
    im.section(0x01000600, 1, Image::words({1 * 4 + 1}));  // cell 1, word 1: op0
    im.section(0x01000700, 1, Image::words({0 * 4 + 1}));  // cell 0, word 1: the text address
    im.section(0x01000B00, 1, Image::words({Value::cell(Kind::Instruction, 0, 1).bits}));
    return im;
}

TEST_F(ObjectFile, LoadsIntoNewPagesAndRelocates) {
    // Pages in use before the image: the image's references must shift.
    for (int i = 0; i < 300; ++i) cell_alloc(Kind::Int);
    area_alloc(5000);
    unsigned p = cell_pages_in_use(), f = word_pages_in_use();
    ASSERT_EQ(p, 2u);
    ASSERT_EQ(f, 2u);
    Bytes file = sample_image(false).file();
    std::vector<Value> stmts;
    load_object_image(file.data(), file.size(), 7, "t.jo", stmts);
    ASSERT_EQ(stmts.size(), 1u);
    EXPECT_EQ(stmts[0], Value::cell(Kind::Instruction, p, 1));
    const InstrCell* in = cell_as<InstrCell>(stmts[0]);
    EXPECT_EQ(in->module, 0x80 | 7);
    EXPECT_EQ(Value(in->op0), Value::cell(Kind::String, p, 0));
    EXPECT_EQ(string_view_of(Value(in->op0)), "hi");
    EXPECT_EQ(cell_as<StringCell>(Value(in->op0))->text.bits, f << 10);
    EXPECT_GE(global_find(SYM_count), 0);
    // New cells and compile-area blocks come after the image's pages.
    EXPECT_EQ(cell_alloc(Kind::Int).value.page(), p + 1);
    EXPECT_EQ((area_alloc(4).addr.bits >> 10), f + 1);
}

TEST_F(ObjectFile, SymbolTableIsReplacedFirstAndMergedLater) {
    Bytes file = sample_image(true).file();
    uint32_t image_count = symbol_count();  // the image holds 54 names
    process_reset();                        // only the predefined names now
    std::vector<Value> stmts;
    load_object_image(file.data(), file.size(), 1, "t.jo", stmts);
    EXPECT_EQ(symbol_count(), image_count);
    EXPECT_EQ(intern("fromImage"), 53u);
    EXPECT_GE(global_find(53), 0);

    // After other names exist the image's names are merged and translated.
    process_reset();
    intern("first");
    intern("second");
    load_object_image(file.data(), file.size(), 1, "t.jo", stmts);
    int64_t n = symbol_lookup("fromImage", 9);
    EXPECT_EQ(n, 55);
    EXPECT_GE(global_find(55), 0);
    EXPECT_LT(global_find(53), 0);
}

TEST_F(ObjectFile, CompressedImageLoadsLikeTheStoredOne) {
    Bytes stored = sample_image(false).file();
    Bytes stream(stored.begin() + 8, stored.end());
    // Code every zero byte with the Z1/run markers and keep the rest literal.
    Bytes coded = {0xF0, 0xF1, 0xF2, 0xF3, 0, 0};
    for (size_t i = 0; i < stream.size();) {
        size_t run = 0;
        while (i + run < stream.size() && stream[i + run] == 0 && run < 200) ++run;
        if (run >= 2) {
            coded.push_back(0xF0);
            coded.push_back(static_cast<uint8_t>(run));
            i += run;
        } else {
            uint8_t b = stream[i++];
            coded.push_back(b);
            if (b >= 0xF0 && b <= 0xF3) coded.push_back(b == 0xF0 ? 0 : b);  // escaped marker
        }
    }
    Bytes file;
    put32(file, static_cast<uint32_t>(stream.size()));
    put32(file, static_cast<uint32_t>(coded.size()));
    file.insert(file.end(), coded.begin(), coded.end());
    std::vector<Value> stmts;
    load_object_image(file.data(), file.size(), 1, "t.jo", stmts);
    ASSERT_EQ(stmts.size(), 1u);
    EXPECT_EQ(string_view_of(Value(cell_as<InstrCell>(stmts[0])->op0)), "hi");
}

TEST_F(ObjectFile, BadImagesAreErrors) {
    Image im = sample_image(false);
    auto code = [](const Bytes& f) {
        return expect_raise([&] {
            std::vector<Value> s;
            load_object_image(f.data(), f.size(), 1, "t.jo", s);
        }).code;
    };
    Bytes ok = im.file();
    EXPECT_EQ(code(Bytes(ok.begin(), ok.begin() + 5)), "1440");       // no header
    Bytes cut(ok.begin(), ok.end() - 20);
    EXPECT_EQ(code(cut), "1440");                                       // E past the end
    Bytes truncated = ok;
    uint32_t l = static_cast<uint32_t>(ok.size() - 8 - 30);
    std::memcpy(truncated.data(), &l, 4), std::memcpy(truncated.data() + 4, &l, 4);
    truncated.resize(8 + l);
    EXPECT_EQ(code(truncated), "1440");                                 // a section runs past L

    Image bad_reloc = sample_image(false);
    bad_reloc.section(0x01000600, 1, Image::words({5 << 16}));          // page 5 of 1
    EXPECT_EQ(code(bad_reloc.file()), "1450");
    Image bad_stmt = sample_image(false);
    bad_stmt.section(0x01000B00, 1, Image::words({Value::cell(Kind::Instruction, 0, 9).bits}));
    EXPECT_EQ(code(bad_stmt.file()), "1450");
    Image huge = sample_image(false);
    huge.section(0x01000500, 0xFFFFFFFF, {});
    EXPECT_EQ(code(huge.file()), "1440");
    Image unknown = sample_image(false);
    unknown.section(0x01000C00, 0, {});
    EXPECT_EQ(code(unknown.file()), "1459");

    Image bad_sym;
    Bytes data = Image::words({0});      // one record, length 5 at offset 100 ...
    data[1] = 5;
    put32(data, symbol_key("abcde", 5));
    put32(data, 100);
    put32(data, 0), put32(data, 0);      // index entry
    put32(data, 8);                      // ... of an 8-byte text
    data.insert(data.end(), 8, 'x');
    bad_sym.section(0x01000300, 1, data);
    EXPECT_EQ(code(bad_sym.file()), "1455");
}

// What loading an image ends in: "loaded" or the error code.
std::string outcome(const Bytes& f) {
    try {
        std::vector<Value> s;
        load_object_image(f.data(), f.size(), 1, "t.jo", s);
        return "loaded";
    } catch (const Unwind& u) {
        if (u.value.kind() != Kind::Exception) return "(not an error object)";
        ErrorView e = error_view(u.value);
        return std::string(e.code, e.code_len);
    }
}

// Cell 0 a String ("hi" in word page 0) and cell 1, the one statement, an
// addition of `a` and `b`.  The operands marked as the image's own are in
// the cell-reference list; the others name cells of the process.
Image addition_image(Value a, Value b, bool a_own = true, bool b_own = true) {
    Image im;
    Bytes cells(32, 0);
    StringCell s{};
    s.header = 9;
    s.capacity = 8;
    s.length = 2;
    std::memcpy(cells.data(), &s, 16);
    InstrCell in{};
    in.header = 13;
    in.nops = 2;
    in.opcode = 118;  // OP_ADD
    in.op0 = a.bits;
    in.op1 = b.bits;
    std::memcpy(cells.data() + 16, &in, 16);
    im.section(0x01000100, 2, cells);
    Bytes wp(8, 0);
    wp[0] = 'h';
    wp[1] = 'i';
    Bytes used = Image::words({2});
    wp.insert(wp.end(), used.begin(), used.end());
    im.section(0x01000200, 2, wp);
    Bytes refs;
    if (a_own) put32(refs, 1 * 4 + 1);
    if (b_own) put32(refs, 1 * 4 + 2);
    im.section(0x01000600, static_cast<uint32_t>(refs.size() / 4), refs);
    im.section(0x01000700, 1, Image::words({0 * 4 + 1}));
    im.section(0x01000B00, 1, Image::words({Value::cell(Kind::Instruction, 0, 1).bits}));
    return im;
}

// Every reference to a cell must have the cell's type, not only the one the
// walk happens to read the cell through: the interpreter follows each of
// them, and a String read as an Array (or an instruction) takes its sizes
// from the wrong words.
TEST_F(ObjectFile, EveryReferenceHasItsCellsType) {
    Value str = Value::cell(Kind::String, 0, 0);
    struct { Kind a, b; const char* code; } cases[] = {
        {Kind::String, Kind::String, "loaded"},
        {Kind::Array, Kind::String, "1450"},      // the first reference flipped
        {Kind::String, Kind::Array, "1450"},      // the second
        {Kind::Instruction, Kind::String, "1450"},
        {Kind::String, Kind::Hash, "1450"},
        {Kind::Double, Kind::String, "1450"},
        {Kind::String, Kind::Function, "1450"},
    };
    for (auto& c : cases) {
        process_reset();
        Bytes f = addition_image(Value::cell(c.a, 0, 0), Value::cell(c.b, 0, 0)).file();
        EXPECT_EQ(outcome(f), c.code) << static_cast<int>(c.a) << " and " << static_cast<int>(c.b);
    }
    // One flipped byte of the file: the kind byte of the first operand word.
    process_reset();
    Bytes f = addition_image(str, str).file();
    size_t kind_byte = 8 + 8 + 16 + 4 + 3;  // header, section head, cell 0, op0's top byte
    ASSERT_EQ(f[kind_byte], static_cast<uint8_t>(Kind::String));
    f[kind_byte] = static_cast<uint8_t>(Kind::Array);
    EXPECT_EQ(outcome(f), "1450");

    // A permanent cell of the process is not walked, but it is still read
    // as the kind that names it.
    process_reset();
    NewCell perm = cell_alloc(Kind::Int);
    perm.cell->header = header_of(Kind::Int, 15);
    Value as_int = perm.value, as_string = Value::cell(Kind::String, perm.value.page(), perm.value.slot());
    EXPECT_EQ(outcome(addition_image(str, as_int, true, false).file()), "loaded");
    EXPECT_EQ(outcome(addition_image(str, as_string, true, false).file()), "1450");
    EXPECT_EQ(outcome(addition_image(as_int, as_string, false, false).file()), "1450");
}

// A cell reference keeps its area-class bits clear.
TEST_F(ObjectFile, CellReferenceWithAreaClassBitsIsRefused) {
    Value str = Value::cell(Kind::String, 0, 0);
    EXPECT_EQ(outcome(addition_image(str, Value(str.bits | 0x00300000)).file()), "1450");
}

// The worst a coded stream of E bytes can do, built by hand: runs of 255
// zeros (table without codes) or a fixed-count code of 255 (252 zeros and
// its value from one byte).
Bytes worst_coded(size_t e) {
    Bytes b;
    if (e < 13) {
        b = {0xF0, 0xF1, 0xF2, 0xF3, 0, 0};
        while (b.size() + 2 <= e) b.insert(b.end(), {0xF0, 255});
        if (b.size() < e) b.push_back(0xF3);
    } else {
        b = {0xF0, 0xF1, 0xF2, 0xF3, 1, 1, 0xC0, 'v', 255};
        while (b.size() < e) b.push_back(0xC0);
    }
    return b;
}

TEST_F(ObjectFile, StatedLengthIsBoundedByWhatTheCodesCanGive) {
    for (size_t e : {6u, 7u, 8u, 9u, 10u, 11u, 12u, 13u, 14u, 40u, 1000u}) {
        Bytes coded = worst_coded(e);
        ASSERT_EQ(coded.size(), e);
        uint64_t most = max_object_expansion(e);
        EXPECT_EQ(expand(coded, static_cast<size_t>(most)).size(), most) << "E " << e;
        // At the bound the stream is read (its zeros are an unknown
        // section); one byte more is a length no stream of E bytes reaches.
        auto file = [&](uint64_t l) {
            Bytes f;
            put32(f, static_cast<uint32_t>(l));
            put32(f, static_cast<uint32_t>(e));
            f.insert(f.end(), coded.begin(), coded.end());
            return f;
        };
        if (most >= 8) {
            EXPECT_EQ(outcome(file(most)), "1459") << "E " << e;
        }
        EXPECT_EQ(outcome(file(most + 1)), "1440") << "E " << e;
    }
    // Random streams never pass the bound either.
    std::mt19937 rng(11);
    for (int round = 0; round < 3000; ++round) {
        size_t e = 6 + rng() % 40;
        Bytes b(e);
        for (uint8_t& x : b) x = static_cast<uint8_t>(rng());
        b[4] = static_cast<uint8_t>(rng() % 4), b[5] = static_cast<uint8_t>(b[4] + rng() % 3);
        uint64_t most = max_object_expansion(e);
        try {
            EXPECT_LE(expand(b, static_cast<size_t>(most)).size(), most);
        } catch (const Unwind&) {
        }
    }
}

// Images cut or sized so that a size, a count or a length leads outside
// the file, or its arithmetic overflows 32 bits.
TEST_F(ObjectFile, CorruptedImagesAreRefusedBeforeUse) {
    auto header = [](uint32_t l, uint32_t e, const Bytes& stored) {
        Bytes f;
        put32(f, l);
        put32(f, e);
        f.insert(f.end(), stored.begin(), stored.end());
        return f;
    };
    auto with = [](uint32_t tag, uint32_t size, const Bytes& data) {
        Image im;
        im.section(tag, size, data);
        return im.file();
    };
    auto after_sample = [](uint32_t tag, uint32_t size, const Bytes& data) {
        Image im = sample_image(false);
        im.section(tag, size, data);
        return im.file();
    };
    Bytes symbol_record = Image::words({0x0500, symbol_key("abcde", 5), 0xFFFFFFFE});
    Bytes one_bad_name = symbol_record;
    for (uint32_t w : {0u, 0u, 8u}) put32(one_bad_name, w);
    one_bad_name.insert(one_bad_name.end(), 8, 'x');
    struct { const char* what; Bytes file; const char* code; } cases[] = {
        // The 4 GiB stated length of a 6-byte coded stream: nothing is reserved.
        {"L of 4 GiB", header(0xFFFFFFF0, 6, {0xF0, 0xF1, 0xF2, 0xF3, 0, 0}), "1440"},
        {"L of 4 GiB, E past the file", header(0xFFFFFFF0, 0xFFFFFFF1, {0xF0, 0xF1, 0xF2, 0xF3, 0, 0}), "1440"},
        {"L far above a coded stream", header(1 << 20, 20, worst_coded(20)), "1440"},
        {"E and L of 4 GiB stored", header(0xFFFFFFFF, 0xFFFFFFFF, {1, 2, 3, 4}), "1440"},
        // Page sections: a rest of more than a page would not fit the pages
        // counted (a rest of exactly one page does).
        {"word rest of 0xFFFF", with(0x01000200, 0xFFFF, Bytes(0xFFFF * 4 + 4, 0)), "1440"},
        {"word rest of 1025", with(0x01000200, 1025, Bytes(1025 * 4 + 4, 0)), "1440"},
        {"word rest of 1024", with(0x01000200, 1024, Bytes(1024 * 4 + 4, 0)), "loaded"},
        {"cell rest of 300", with(0x01000100, 300, Bytes(300 * 16, 0)), "1440"},
        {"cell rest of 256", with(0x01000100, 256, Bytes(256 * 16, 0)), "loaded"},
        // Counts whose byte sizes wrap in 32 bits (to 4, 8 or 16 bytes).
        {"symbol count * 20 wraps", with(0x01000300, 0x0CCCCCCD, Bytes(16, 0)), "1440"},
        {"global count * 4 wraps", after_sample(0x01000400, 0x40000001, Bytes(8, 0)), "1440"},
        {"relocation count * 4 wraps", after_sample(0x01000600, 0x40000002, Bytes(8, 0)), "1440"},
        {"statement count * 4 wraps", after_sample(0x01000B00, 0x40000004, Bytes(16, 0)), "1440"},
        {"65535 word pages", with(0x01000200, 0xFFFF0000, Bytes(16, 0)), "1440"},
        {"symbol text size past the end", with(0x01000300, 0, Image::words({0xFFFFFFFF})), "1440"},
        {"name offset + length wraps", with(0x01000300, 1, one_bad_name), "1455"},
        // An empty symbol table: nothing to copy, and no table to replace the process's with.
        {"symbol count 0", with(0x01000300, 0, Image::words({0})), "1455"},
    };
    for (auto& c : cases) {
        process_reset();
        EXPECT_EQ(outcome(c.file), c.code) << c.what;
    }
}

// An empty symbol section merged into a table that already has names
// translates nothing: the image may not use a name of its own.
TEST_F(ObjectFile, EmptySymbolSectionMerged) {
    Image empty_then_sample;
    empty_then_sample.section(0x01000300, 0, Image::words({0}));
    Image sample = sample_image(false);
    empty_then_sample.stream.insert(empty_then_sample.stream.end(), sample.stream.begin(), sample.stream.end());
    Image alone;
    alone.section(0x01000300, 0, Image::words({0}));
    intern("first");
    EXPECT_EQ(outcome(alone.file()), "loaded");
    EXPECT_EQ(outcome(empty_then_sample.file()), "1455");  // its global names symbol 53
}

// Every cut inside a section (its head or its data) runs past the stream.
TEST_F(ObjectFile, TruncatedSectionsAreLengthErrors) {
    Bytes whole = sample_image(true).file();
    Bytes stream(whole.begin() + 8, whole.end());
    std::vector<size_t> boundaries;
    for (size_t pos = 0; pos + 8 <= stream.size();) {
        boundaries.push_back(pos);
        uint32_t tag, size;
        std::memcpy(&tag, stream.data() + pos, 4);
        std::memcpy(&size, stream.data() + pos + 4, 4);
        if (tag == 0xFFFFFFFF) break;
        size_t a = size & 0xFFFF, b = size >> 16, m = a ? b + 1 : b;
        switch (tag) {
        case 0x01000100: pos += 8 + (b * 256 + a) * 16; break;
        case 0x01000200: pos += 8 + (b * 1024 + a) * 4 + m * 4; break;
        case 0x01000300: {
            uint32_t text;
            std::memcpy(&text, stream.data() + pos + 8 + size_t{size} * 20, 4);
            pos += 8 + size_t{size} * 20 + 4 + text;
            break;
        }
        default: pos += 8 + size_t{size} * 4; break;
        }
    }
    ASSERT_EQ(boundaries.size(), 8u);  // seven sections and the end tag
    for (size_t cut = 1; cut < boundaries.back(); ++cut) {
        if (std::find(boundaries.begin(), boundaries.end(), cut) != boundaries.end()) continue;
        process_reset();
        Bytes f;
        put32(f, static_cast<uint32_t>(cut));
        put32(f, static_cast<uint32_t>(cut));
        f.insert(f.end(), stream.begin(), stream.begin() + static_cast<ptrdiff_t>(cut));
        ASSERT_EQ(outcome(f), "1440") << "cut at " << cut;
    }
}

TEST_F(ObjectFile, CellPageLimit) {
    for (int i = 0; i < 4090 * 256; ++i) cell_alloc(Kind::Int);
    Image im;
    im.section(0x01000100, 5 << 16, Bytes(5 * 4096, 0));
    Bytes f = im.file();
    auto r = expect_raise([&] {
        std::vector<Value> s;
        load_object_image(f.data(), f.size(), 1, "t.jo", s);
    });
    EXPECT_EQ(r.code, "1435");
    EXPECT_NE(r.message.find("Buffer Overflow(Area DW16)"), std::string::npos);
}

TEST_F(ObjectFile, MutatedImagesEndInAnError) {
    Bytes base = sample_image(true).file();
    std::mt19937 rng(7);
    int loaded = 0, failed = 0;
    for (int round = 0; round < 2000; ++round) {
        process_reset();
        Bytes f = base;
        int edits = 1 + static_cast<int>(rng() % 3);
        for (int e = 0; e < edits; ++e) {
            size_t at = rng() % f.size();
            switch (rng() % 3) {
            case 0: f[at] ^= static_cast<uint8_t>(1u << (rng() % 8)); break;
            case 1: f[at] = static_cast<uint8_t>(rng()); break;
            default: f.resize(at + 1); break;
            }
        }
        try {
            std::vector<Value> s;
            load_object_image(f.data(), f.size(), 1, "t.jo", s);
            ++loaded;
        } catch (const Unwind&) {
            ++failed;
        }
    }
    EXPECT_GT(failed, 100);
    EXPECT_GT(loaded, 10);
}

}  // namespace
}  // namespace koru
