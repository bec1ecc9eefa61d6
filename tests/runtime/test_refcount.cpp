// Reference counts in the header byte, destruction and truthiness.
#include <gtest/gtest.h>

#include <cmath>

#include "runtime/objects.h"
#include "runtime/refcount.h"
#include "support/fresh.h"

namespace koru {
namespace {

class Refcount : public testing::Fresh {
protected:
    void SetUp() override {
        Fresh::SetUp();
        enter_run_phase();
    }
    static uint8_t header(Value v) { return *header_ptr(v); }
    static bool is_free(Value v) { return cell_of(v)->header == kFreeCellHeader; }
};

TEST_F(Refcount, WordsWithoutObjectsAreLeftAlone) {
    for (uint32_t w : {0u, 1u, 4u, 77u, 0x0F000005u, 0xFF000001u, 0x408F0000u}) {
        Value v(w);
        value_retain(v);
        value_release(v);
        value_drop_temp(v);
        EXPECT_EQ(value_retain_count(v), 0u) << std::hex << w;
    }
}

TEST_F(Refcount, CountSaturatesAtFifteen) {
    Value s = make_string("abc");
    for (int i = 0; i < 20; ++i) value_retain(s);
    EXPECT_EQ(header(s), 0xF9);
    for (int i = 0; i < 40; ++i) value_release(s);
    EXPECT_EQ(header(s), 0xF9);  // permanent: never counted down or destroyed
    value_drop_temp(s);
    EXPECT_EQ(std::string(string_text(s)), "abc");
}

TEST_F(Refcount, ReleaseDestroysAtZeroAndDropTempOnlyTemporaries) {
    Value a = make_int(5);
    value_retain(a);
    value_drop_temp(a);          // stored somewhere: survives
    EXPECT_FALSE(is_free(a));
    value_release(a);            // last reference
    EXPECT_TRUE(is_free(a));
    Value b = make_double(1.5);
    value_drop_temp(b);          // fresh temporary: destroyed at its first drop
    EXPECT_TRUE(is_free(b));
}

TEST_F(Refcount, UnrefLowersWithoutDestroying) {
    Value a = make_int(1);
    value_retain(a);
    EXPECT_EQ(value_unref(a), 0x20u);
    EXPECT_EQ(header(a) >> 4, 0u);
    EXPECT_FALSE(is_free(a));
    EXPECT_EQ(value_unref(a), 0x10u);  // count 0 stays 0
}

TEST_F(Refcount, DestroyingContainersReleasesWhatTheyHold) {
    Value shared = make_string("kept");
    value_retain(shared);                    // also held elsewhere
    Value only = make_string("gone");
    Value arr = make_array(0);
    array_push(arr, shared);
    array_push(arr, only);
    Value keyed = make_keyed_array(1);
    Value inner = make_int(3);
    keyed_pairs(keyed)[0] = {Value::int_key(7), value_retain(inner)};
    Value hash = make_hash(1);
    hash_pairs(hash)[0] = {Value::symbol(60), value_retain(keyed)};
    array_push(arr, hash);
    value_drop_temp(hash);                   // held by the array
    value_drop_temp(arr);
    EXPECT_TRUE(is_free(arr));
    EXPECT_TRUE(is_free(only));
    EXPECT_TRUE(is_free(hash));
    EXPECT_TRUE(is_free(keyed));
    EXPECT_TRUE(is_free(inner));
    EXPECT_FALSE(is_free(shared));
    EXPECT_EQ(header(shared) >> 4, 1u);
}

TEST_F(Refcount, ArrayGrowsPastItsCapacity) {
    Value arr = make_array(0);
    for (int i = 0; i < 100; ++i) array_push(arr, make_int(i), 10);
    ASSERT_EQ(array_count(arr), 100u);
    EXPECT_EQ(cell_as<ArrayCell>(arr)->capacity, 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(int_value(array_elements(arr)[i]), i);
}

TEST_F(Refcount, Truthiness) {
    Value nan_double = make_double(std::nan(""));
    struct { Value v; bool truthy; const char* what; } cases[] = {
        {kTrueValue, true, "true"}, {kFalseValue, false, "false"}, {kUndefinedValue, false, "undefined"},
        {kNullValue, false, "null"}, {kNaNValue, false, "immediate NaN"}, {Value::symbol(60), false, "symbol"},
        {Value::int_key(3), false, "int key"}, {make_int(0), false, "0"}, {make_int(-1), true, "-1"},
        {make_double(0.0), false, "0.0"}, {make_double(-0.0), false, "-0.0"}, {nan_double, true, "double NaN"},
        {make_double(0.1), true, "0.1"}, {make_string(""), false, "empty string"},
        {make_string("0"), true, "\"0\""}, {make_array(0), false, "[]"}, {make_array(1), true, "[undefined]"},
        {make_keyed_array(0), false, "empty keyed"}, {make_hash(0), false, "{}"}, {make_hash(1), true, "hash"},
        {cell_alloc(Kind::Function).value, true, "function"}, {cell_alloc(Kind::Date).value, true, "date"}};
    for (auto& c : cases) EXPECT_EQ(value_truthy(c.v), c.truthy) << c.what;
}

}  // namespace
}  // namespace koru
