// The symbol table: keys, interning, the predefined names.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/symbols.h"
#include "support/fresh.h"

namespace koru {
namespace {

class Symbols : public testing::Fresh {};

TEST_F(Symbols, KeyIsWeightedSumWithLengthOnTop) {
    // "ab": 1*'a' + 2*'b' = 97 + 196.
    EXPECT_EQ(symbol_key("ab", 2), (2u << 24) | 293u);
    // Positions count modulo 17: the 17th byte has weight 0.
    std::string s17(16, 'a');
    s17 += 'z';
    std::string s17b(16, 'a');
    s17b += 'q';
    EXPECT_EQ(symbol_key(s17.data(), 17), symbol_key(s17b.data(), 17));
    EXPECT_EQ(symbol_key("", 0), 0u);
}

TEST_F(Symbols, PredefinedNamesHaveFixedNumbers) {
    EXPECT_EQ(symbol_count(), 53u);
    EXPECT_STREQ(symbol_name(SYM_undefined), "undefined");
    EXPECT_STREQ(symbol_name(SYM_NaN), "NaN");
    EXPECT_STREQ(symbol_name(SYM_length), "length");
    EXPECT_STREQ(symbol_name(SYM_set), "$set");
    EXPECT_STREQ(symbol_name(SYM_kkey), "_k__e__y_");
    EXPECT_STREQ(symbol_name(SYM_new), "new");
    for (uint32_t i = 0; i < kPredefinedSymbols; ++i)
        EXPECT_EQ(intern(kPredefinedNames[i]), i) << kPredefinedNames[i];
    EXPECT_EQ(intern("myVariable"), 53u);
}

TEST_F(Symbols, SameNameSameNumberAndCollidingKeysStayApart) {
    // Two different names with one key: "17 a's then x" vs "then y" differ only
    // at the position of weight 0.
    std::string a(16, 'a'), b(16, 'a');
    a += 'x';
    b += 'y';
    ASSERT_EQ(symbol_key(a.data(), a.size()), symbol_key(b.data(), b.size()));
    uint32_t na = intern(a), nb = intern(b);
    EXPECT_NE(na, nb);
    EXPECT_EQ(intern(a), na);
    EXPECT_EQ(intern(b), nb);
    EXPECT_EQ(symbol_name(nb), b);
    EXPECT_EQ(symbol_length(na), 17u);
    EXPECT_EQ(symbol_lookup("nothere", 7), -1);
}

TEST_F(Symbols, CountedInternStopsAtNul) {
    uint32_t n = intern_counted("abc\0def", 7);
    EXPECT_EQ(n, intern("abc"));
}

TEST_F(Symbols, TableGrowsPastItsFirstCapacity) {
    std::vector<uint32_t> numbers;
    for (int i = 0; i < 5000; ++i) numbers.push_back(intern("name_" + std::to_string(i)));
    for (int i = 0; i < 5000; ++i) {
        EXPECT_EQ(numbers[i], 53u + i);
        EXPECT_EQ(intern("name_" + std::to_string(i)), numbers[i]);
    }
    // The index stays sorted by key as unsigned numbers.
    for (size_t i = 1; i < g_symbols.index.size(); ++i)
        EXPECT_LE(g_symbols.index[i - 1].key, g_symbols.index[i].key);
    EXPECT_STREQ(symbol_name(numbers[4321]), "name_4321");
}

// Names found by their text whatever else they share: a key, their first
// 64 bytes, their length byte, bytes after a NUL; and the same text entered
// under another key is a name of its own, as the sorted index has it.
TEST_F(Symbols, NamesFoundByTextWhateverTheyShare) {
    struct Row {
        std::string text;
        bool own_key;  // entered under a key other than its own
    };
    std::vector<Row> rows = {
        {std::string(70, 'a') + "1", false},
        {std::string(70, 'a') + "2", false},
        {std::string(300, 'b'), false},
        {std::string(44, 'b'), false},
        {std::string("ab\0cd", 5), false},
        {std::string("ab\0ce", 5), false},
        {"ab", false},
        {"same", false},
        {"same", true},
    };
    for (int i = 0; i < 2000; ++i) {
        std::string k(1, 'k');  // appended: GCC 12 at -O3 takes "k" + a temporary for an overlapping copy
        k += std::to_string(i);
        rows.push_back({k, false});
    }
    auto key_of = [](const Row& r) {
        uint32_t k = symbol_key(r.text.data(), r.text.size());
        return r.own_key ? k + 1 : k;
    };
    std::vector<uint32_t> numbers;
    for (const Row& r : rows) numbers.push_back(intern(r.text.data(), r.text.size(), key_of(r)));
    for (size_t i = 0; i < rows.size(); ++i) {
        for (size_t j = 0; j < i && i < 12; ++j) EXPECT_NE(numbers[i], numbers[j]) << i << " " << j;
        EXPECT_EQ(intern(rows[i].text.data(), rows[i].text.size(), key_of(rows[i])), numbers[i]) << i;
        if (!rows[i].own_key) {
            EXPECT_EQ(symbol_lookup(rows[i].text.data(), rows[i].text.size()), numbers[i]) << i;
        }
    }
    EXPECT_EQ(numbers.back(), numbers.front() + rows.size() - 1);
    EXPECT_EQ(symbol_lookup(std::string(70, 'a').data(), 70), -1);
    EXPECT_EQ(symbol_lookup("ab\0cf", 5), -1);
    EXPECT_EQ(symbol_lookup("k2000", 5), -1);
}

}  // namespace
}  // namespace koru
