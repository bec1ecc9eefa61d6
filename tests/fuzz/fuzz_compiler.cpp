// Random and mutated source texts: each must compile or end in a parse
// error, never crash (run under the sanitizers by make check-asan).
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "compiler/module.h"
#include "compiler/state.h"
#include "host/errors.h"
#include "host/process.h"
#include "runtime/area.h"
#include "runtime/symbols.h"

namespace koru {
namespace {

const char* const kSeeds[] = {
    "function f(a, b = 2) { var x = a + b * 3; return x; }\nf(1);",
    "for (var i = 0; i < 10; i++) { if (i % 2 == 0) continue; else break; }",
    "try { throw Error(\"x\"); } catch (e) { alertToFront(e.message); } finally { }",
    "switch (k) { case 1: a = [1, {b: 'c'}]; break; default: sendToFront(\"x\"); }",
    "x = `t ${a}` + \"s\\n\" + 'q' /* c */ // d\n; y = x ? -1 : 0x1F;",
    "for (const k in h) { do { k--; } while (k > 0); }",
    "var r = select(db, \"select * from t\"); z = new Date(2020, 1); w = a instanceof Array;",
    "{ let q = 1; const w = [q, q ** 2]; } r = /ab+/g; o = {\"k\": v.length};",
};

// Fragments that stress brackets, quotes and comments.
const char* const kFragments[] = {"(", ")", "[", "]", "{", "}", "'", "\"", "`", "/*", "*/", "//", "\\",
                                  ";", ",", ":", "?", "=", "+", "-", "++", "new ", "function ", "case ",
                                  "\n", "0x", "1e", ".", "${", "\xE3\x81\x82", "\xFF", "if", "else "};

void compile_one(const std::string& source) {
    process_reset();
    std::string text = source;
    std::vector<Value> statements;
    try {
        compile_module("fuzz.js", text.data(), statements);
    } catch (const Unwind&) {
        // A parse error is a fine outcome.
    }
}

TEST(CompilerFuzz, RandomAndMutatedTextsNeverCrash) {
    std::mt19937 rng(20240611);
    auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
    for (int round = 0; round < 3000; ++round) {
        std::string text = kSeeds[pick(std::size(kSeeds))];
        int edits = 1 + static_cast<int>(pick(6));
        for (int e = 0; e < edits && !text.empty(); ++e) {
            size_t at = pick(text.size() + 1);
            switch (pick(4)) {
                case 0: text.insert(at, kFragments[pick(std::size(kFragments))]); break;
                case 1: if (at < text.size()) text.erase(at, 1 + pick(4)); break;
                case 2: if (at < text.size()) text[at] = static_cast<char>(1 + pick(255)); break;
                default: text.insert(at, text.substr(pick(text.size()), pick(12))); break;
            }
        }
        compile_one(text);
    }
    for (int round = 0; round < 1000; ++round) {
        std::string text;
        size_t n = pick(40);
        for (size_t i = 0; i < n; ++i) text += kFragments[pick(std::size(kFragments))];
        compile_one(text);
    }
    SUCCEED();
}

}  // namespace
}  // namespace koru
