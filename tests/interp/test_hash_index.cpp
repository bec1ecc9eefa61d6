// A hash with many keys is searched through an index beside it: every
// look-up must find the pair the linear search finds, in the order the
// pairs were made, through deletes, clears and re-inserts, and an index
// must never answer for another hash that took its cell.
#include <algorithm>
#include <string>
#include <vector>

#include "fixture.h"
#include "interp/variables.h"

namespace koru::test {
namespace {

// The script's keys k0..k{n-1} with `removed` taken out and `added` put at
// the end, joined as the script joins them.
std::string keys_after(int n, const std::vector<int>& removed, const std::vector<std::string>& added) {
    std::string out;
    for (int i = 0; i < n; ++i) {
        if (std::find(removed.begin(), removed.end(), i) != removed.end()) continue;
        if (!out.empty()) out += ',';
        out += 'k';
        out += std::to_string(i);
    }
    for (const std::string& a : added) {
        out += ',';
        out += a;
    }
    return out;
}

// A script string literal of the text.  (Built by appending: GCC 12 at -O3
// takes a literal put before a temporary string for an overlapping copy.)
std::string quoted(const std::string& text) {
    std::string out(1, '"');
    out += text;
    out += '"';
    return out;
}

TEST_F(InterpTest, ManyKeysFoundInTheirOrderThroughDeletesAndReinserts) {
    const std::string fill = "var h = {}; for (var i = 0; i < 40; i++) h['k' + i] = i;";
    const std::string k1 = quoted(keys_after(40, {3, 20}, {"k3"}));
    const std::string k2 = quoted(keys_after(40, {0}, {"new"}));
    const std::string k3 = quoted(keys_after(40, {39, 38, 0}, {"k39", "k0"}));
    check_cases(fill, {
        {"h.delete('k3'); h.delete('k20'); h['k3'] = 'x';"
         " var r = [h.get('k3'), h.k4, h.k39, h.has('k20'), h.get('k20'), h['k21'], h.k2];",
         "[\"x\",4,39,false,undefined,21,2]"},
        {"h.delete('k3'); h.delete('k20'); h['k3'] = 'x'; var r = h.keys().join(',');", k1.c_str()},
        // One out, one in: the same count, every pair after the first moved.
        {"h.delete('k0'); h.set('new', 'n'); var s = 0; for (var i = 1; i < 40; i++) s = s + h['k' + i];"
         " var r = [s, h.k0, h.new, h.has('k0'), h.keys().length];",
         "[780,undefined,\"n\",false,40]"},
        {"h.delete('k0'); h.set('new', 'n'); var r = h.keys().join(',');", k2.c_str()},
        {"h.delete('k39'); h.delete('k38'); h.delete('k0'); h.k39 = 'a'; h['k0'] = 'b';"
         " var r = [h.k39, h.k0, h.k38, h.k37, h.keys().length];",
         "[\"a\",\"b\",undefined,37,39]"},
        {"h.delete('k39'); h.delete('k38'); h.delete('k0'); h.k39 = 'a'; h['k0'] = 'b'; var r = h.keys().join(',');",
         k3.c_str()},
        // Cleared and filled with other keys.
        {"var a = h.k5; h.clear(); for (var j = 0; j < 20; j++) h['z' + j] = j;"
         " var r = [a, h.k5, h.z19, h.z0, h.has('k7'), h.keys().length];",
         "[5,undefined,19,0,false,20]"},
        // Read through a name that is not there, then added by a store.
        {"var a = h.missing; h.missing = 1; h.k10 = 'ten'; var r = [a, h.missing, h.k10, h.keys().length];",
         "[undefined,1,\"ten\",41]"},
        // A copy is a hash of its own.
        {"var c = {}; for (var key in h) c[key] = h[key]; c.delete('k1'); var r = [h.k1, c.k1, c.k2, h.k39];",
         "[1,undefined,2,39]"},
    });
}

// A hash freed and its cell given to a new one with other keys, made the
// way literals and copies make theirs (the pairs written whole).
TEST_F(InterpTest, AHashThatTakesAFreedHashsCellIsSearchedAfresh) {
    for (uint32_t n : {16u, 20u, 40u}) {
        fresh_process();
        enter_run_phase();
        std::vector<uint32_t> first, second;
        for (uint32_t i = 0; i < n; ++i) {
            first.push_back(intern("first" + std::to_string(i)));
            second.push_back(intern("second" + std::to_string(i)));
        }
        Value a = value_retain(make_hash(0));
        for (uint32_t sym : first) hash_append(a, Value::symbol(sym));
        EXPECT_EQ(hash_find(a, first[n - 1]), n - 1);
        EXPECT_EQ(hash_find(a, second[0]), -1);
        value_release(a);
        Value b = value_retain(make_hash(n));
        ASSERT_EQ(b.bits, a.bits) << "the second hash must take the first one's cell";
        for (uint32_t i = 0; i < n; ++i) hash_pairs(b)[i].key = Value::symbol(second[i]);
        for (uint32_t i = 0; i < n; ++i) {
            EXPECT_EQ(hash_find(b, second[i]), i) << n;
            EXPECT_EQ(hash_find(b, first[i]), -1) << n;
        }
        value_release(b);
    }
}

}  // namespace
}  // namespace koru::test
