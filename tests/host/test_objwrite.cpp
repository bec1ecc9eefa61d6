// Object images the writer makes: the coded stream expands to the same
// bytes, images of real modules load in other processes' states, a loaded
// image must not reach outside its own pages, and mutated images end in an
// error rather than a crash.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "host/objfile.h"
#include "host/objlayout.h"
#include "host/objwrite.h"
#include "interp/fixture.h"
#include "runtime/area.h"
#include "runtime/symbols.h"
#include "support/fresh.h"

namespace koru {
namespace {

using Bytes = std::vector<uint8_t>;
using test::fresh_process;
using test::Outcome;
using test::run_script;

// A module that uses every operand layout: calls, new, for, for-of, try,
// switch, literals of every kind, templates and functions with locals.
constexpr const char* kModule = R"(
var greeting = "hello", big = 3000000000, half = 0.5;
function add(a, b) { var t = a + b; return t; }
function Point(x) { this.x = x; }
var table = [1, "two", [3.5], {k: "v", "q r": [greeting]}];
function main() {
  var out = "";
  for (var i = 0; i < 3; i++) out += add(i, 10) + ",";
  for (var e of table) out += typeof e + ",";
  for (var k in {a: 1, b: 2}) out += k;
  try { throw new Exception("boom", 7); } catch (err) { out += err.message; } finally { out += "f"; }
  switch (greeting) { case "hi": out += 1; break; case "hello": out += 2; default: out += 3; }
  var p = new Point(4);
  out += `v=${add(1, 2)} ${p.x}` + big + half + (i < 3 ? "lt" : "ge");
  var m = /(?<y>\d+)-(?:a|bc)+(x)/i.exec("on 2024-BCax");
  out += m[0] + m["1"] + m.groups.y + /^q/.test("qz");
  sendToFront("out", out);
  sendToFront("table", table);
  return out;
}
var r = main();
)";

Bytes stream_of(const Bytes& image) { return Bytes(image.begin() + 8, image.end()); }

Bytes expand(const Bytes& coded, size_t len) { return expand_object_stream(coded.data(), coded.size(), len, "t.jo"); }

class ObjectWriter : public test::InterpTest {};

TEST_F(ObjectWriter, CodedStreamsExpandToTheSameBytes) {
    Bytes module_stream = stream_of(compile_object_image("m.js", kModule, false));
    std::mt19937 rng(11);
    Bytes random(5000), every_byte, zero_runs, sparse(20000, 0);
    for (auto& b : random) b = static_cast<uint8_t>(rng());
    for (int round = 0; round < 3; ++round)
        for (unsigned b = 0; b < 256; ++b) every_byte.push_back(static_cast<uint8_t>(b));
    // Runs of every length up to 600 between bytes that could be markers.
    for (size_t n = 0; n < 600; n += 1 + n / 40) {
        zero_runs.insert(zero_runs.end(), n, 0);
        zero_runs.push_back(static_cast<uint8_t>(1 + rng() % 255));
    }
    for (size_t i = 0; i < sparse.size(); i += 1 + rng() % 9) sparse[i] = static_cast<uint8_t>(rng() % 4 + 1);
    struct { const char* what; Bytes stream; } cases[] = {
        {"a compiled module", module_stream}, {"random bytes", random}, {"every byte value", every_byte},
        {"zero runs", zero_runs}, {"a few small values among zeros", sparse}, {"empty", {}},
    };
    for (auto& c : cases) {
        Bytes coded = compress_object_stream(c.stream);
        EXPECT_EQ(expand(coded, c.stream.size()), c.stream) << c.what;
    }
    // Compiled code is mostly zeros and small words: the coding pays.
    EXPECT_LT(compress_object_stream(module_stream).size() * 2, module_stream.size());
}

// The module run from source, then from its image (stored and compressed,
// loaded first and after another module): the same records and result.
TEST_F(ObjectWriter, ImagesRunLikeTheirSource) {
    Outcome o = run_script(kModule);
    ASSERT_FALSE(o.error) << o.code << " " << o.message;
    const std::string records = test::g_records, result = test::global_text("r");
    ASSERT_NE(records, "");
    for (bool compressed : {false, true}) {
        for (bool merged : {false, true}) {
            fresh_process();
            Bytes image = compile_object_image("m.js", kModule, compressed);
            fresh_process();
            std::vector<Value> prelude, statements;
            if (merged) {
                std::string text = test::kPreludeModule;
                g_compiler.module = 1;
                compile_module("prelude.js", text.data(), prelude);
            }
            unsigned pages = cell_pages_in_use();
            load_object_image(image.data(), image.size(), merged ? 2 : 1, "m.jo", statements);
            EXPECT_EQ(statements[0].page(), pages) << "the image's cells come after the pages in use";
            enter_run_phase();
            for (Value s : statements) value_drop_temp(run_statement(s));
            EXPECT_EQ(test::g_records, records) << compressed << merged;
            EXPECT_EQ(test::global_text("r"), result) << compressed << merged;
        }
    }
}

TEST_F(ObjectWriter, OperandRolesComeFromOneTable) {
    EXPECT_EQ(operand_role(op_byte(Op::OP_CALL), 1), WordRole::Args);
    EXPECT_EQ(operand_role(op_byte(Op::OP_FOR), 1), WordRole::Number);
    EXPECT_EQ(operand_role(op_byte(Op::OP_SWITCH), 2), WordRole::CaseList);
    EXPECT_EQ(operand_role(op_byte(Op::OP_ADD), 7), WordRole::Value);
    // Every opcode with raw words needs all of its fixed operands, and a
    // shape never has more than the four words its layout names.
    for (unsigned op = kOpFirst; op < kOpUnusedFirst; ++op) {
        if (!has_raw_operands(op)) continue;
        ShapeLayout l = shape_layout(op_row(op).shape);
        EXPECT_LE(min_operands(op), l.max_count) << op_name(op);
        EXPECT_GE(min_operands(op) + 1, l.max_count) << op_name(op);
        EXPECT_LE(l.max_count, 4) << op_name(op);
    }
}

// The sections of an image stream, to take one apart and put it together.
struct Section {
    uint32_t tag;
    uint32_t size;
    Bytes data;
};

std::vector<Section> sections_of(const Bytes& stream) {
    std::vector<Section> out;
    size_t pos = 0;
    auto word = [&](size_t at) {
        uint32_t v;
        std::memcpy(&v, stream.data() + at, 4);
        return v;
    };
    while (pos < stream.size()) {
        Section s{word(pos), word(pos + 4), {}};
        pos += 8;
        uint64_t units = uint64_t{s.size >> 16}, rest = s.size & 0xFFFF;
        size_t bytes;
        switch (s.tag) {
        case 0x01000100: bytes = (units * 256 + rest) * 16; break;
        case 0x01000200: bytes = (units * 1024 + rest) * 4 + (units + (rest ? 1 : 0)) * 4; break;
        case 0x01000300: bytes = s.size * 20 + 4 + word(pos + s.size * 20); break;
        default: bytes = s.size * 4; break;
        }
        s.data.assign(stream.begin() + pos, stream.begin() + pos + bytes);
        pos += bytes;
        out.push_back(std::move(s));
    }
    return out;
}

Bytes file_of(const std::vector<Section>& sections) {
    Bytes s;
    auto put = [&](uint32_t v) { s.insert(s.end(), reinterpret_cast<uint8_t*>(&v), reinterpret_cast<uint8_t*>(&v) + 4); };
    for (const Section& sec : sections) {
        put(sec.tag);
        put(sec.size);
        s.insert(s.end(), sec.data.begin(), sec.data.end());
    }
    Bytes f;
    uint32_t len = static_cast<uint32_t>(s.size());
    f.insert(f.end(), reinterpret_cast<uint8_t*>(&len), reinterpret_cast<uint8_t*>(&len) + 4);
    f.insert(f.end(), reinterpret_cast<uint8_t*>(&len), reinterpret_cast<uint8_t*>(&len) + 4);
    f.insert(f.end(), s.begin(), s.end());
    return f;
}

// An image whose relocation lists miss words would leave references into
// pages it does not own: the loader refuses it instead of running it.
TEST_F(ObjectWriter, UnlistedReferencesAreRefused) {
    Bytes image = compile_object_image("m.js", kModule, false);
    for (uint32_t dropped : {0x01000600u, 0x01000700u, 0x01000900u, 0x01000A00u}) {
        std::vector<Section> sections = sections_of(stream_of(image));
        for (Section& s : sections)
            if (s.tag == dropped) s.size = 0, s.data.clear();
        Bytes bad = file_of(sections);
        fresh_process();
        cell_alloc(Kind::Int);  // pages in use: the image's references must shift
        area_alloc(8);
        testing::Raised r = testing::expect_raise([&] {
            std::vector<Value> s;
            load_object_image(bad.data(), bad.size(), 1, "m.jo", s);
        });
        EXPECT_EQ(r.code, "1450") << std::hex << dropped;
    }
}

// An operator cell whose operand count is below what its handler reads
// would make the handler take the position word for an operand.
TEST_F(ObjectWriter, OperatorsWithTooFewOperandsAreRefused) {
    Bytes image = compile_object_image("m.js", "var r = 1 == 2;", false);
    std::vector<Section> sections = sections_of(stream_of(image));
    bool changed = false;
    for (Section& s : sections) {
        if (s.tag != 0x01000100) continue;
        for (size_t at = 0; at + 16 <= s.data.size(); at += 16)
            if ((s.data[at] & 0xF) == 13 && s.data[at + 3] == op_byte(Op::OP_EQ)) s.data[at + 2] = 1, changed = true;
    }
    ASSERT_TRUE(changed);
    Bytes bad = file_of(sections);
    fresh_process();
    testing::Raised r = testing::expect_raise([&] {
        std::vector<Value> s;
        load_object_image(bad.data(), bad.size(), 1, "m.jo", s);
    });
    EXPECT_EQ(r.code, "1450");
}

// Mutations of a real image: each load ends in an image error or in an
// image the walk accepted, whose top-level statements then run to an end.
TEST_F(ObjectWriter, MutatedImagesOfARealModuleNeverCrash) {
    Bytes stored = compile_object_image("m.js", kModule, false);
    Bytes coded = compile_object_image("m.js", kModule, true);
    std::mt19937 rng(29);
    int refused = 0, ran = 0;
    for (int round = 0; round < 1500; ++round) {
        Bytes f = round % 2 ? coded : stored;
        int edits = 1 + static_cast<int>(rng() % 4);
        for (int e = 0; e < edits; ++e) {
            size_t at = rng() % f.size();
            switch (rng() % 4) {
            case 0: f[at] ^= static_cast<uint8_t>(1u << (rng() % 8)); break;
            case 1: f[at] = static_cast<uint8_t>(rng()); break;
            case 2: f.resize(at + 1); break;
            default: {  // a huge size or count word
                uint32_t huge = 0xFFFFFFF0u | (rng() & 0xF);
                if (at + 4 <= f.size()) std::memcpy(f.data() + at - at % 4, &huge, 4);
                break;
            }
            }
        }
        fresh_process();
        std::vector<Value> statements;
        try {
            load_object_image(f.data(), f.size(), 1, "m.jo", statements);
        } catch (const Unwind&) {
            ++refused;
            continue;
        }
        enter_run_phase();
        try {
            for (Value s : statements) value_drop_temp(run_statement(s));
        } catch (const Unwind&) {
        }
        ++ran;
    }
    EXPECT_GT(refused, 300);
    EXPECT_GT(ran, 20);
}

}  // namespace
}  // namespace koru
