// Reference counts in the header byte, destruction and truthiness.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "compiler/emit.h"
#include "interp/opcodes.h"

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

// A chain far deeper than the machine stack could take one frame a level:
// each kind of container holds the next (array, hash, keyed array, an
// instruction with inline operands, one with an operand vector).
TEST_F(Refcount, DeepChainsAreDestroyedWithoutRunningOutOfStack) {
    constexpr int kLevels = 200000;
    unsigned free_before = memory_stats().free_cells;
    Value chain = make_int(1);
    for (int i = 0; i < kLevels; ++i) {
        Value next;
        switch (i % 5) {
        case 0: next = make_array(1); array_elements(next)[0] = value_retain(chain); break;
        case 1: next = make_hash(1); hash_pairs(next)[0] = {Value::symbol(60), value_retain(chain)}; break;
        case 2: next = make_keyed_array(1); keyed_pairs(next)[0] = {Value::int_key(1), value_retain(chain)}; break;
        case 3: next = make_instruction(Op::OP_THROW, chain, 0); break;
        default: {
            Value ops[3] = {Value(kNull), chain, Value(kTrue)};
            next = make_instruction(Op::OP_BLOCK, 3, ops, 0);
        }
        }
        chain = next;
    }
    value_drop_temp(chain);
    EXPECT_EQ(memory_stats().free_cells, free_before + kLevels + 1);  // every level and the number
}

// Destruction is depth-first: a container's values go in order, each one
// whole before the next, and the container itself last.  The interpreter
// hears of each instruction as its destruction starts; at that moment the
// earlier siblings' trees are gone and the enclosing containers are not.
TEST_F(Refcount, DestructionOrderIsDepthFirst) {
    static std::vector<Value> nodes;
    static std::vector<std::string> seen;  // at each instruction: which nodes were free
    nodes.clear();
    seen.clear();
    auto node = [](Value v) {
        nodes.push_back(v);
        return v;
    };
    //   n0 = BLOCK(n1 = THROW(n2 = "a"), n3 = [n4 = THROW(n5 = 7), n6 = "b"], n7 = THROW(n8 = 2.5))
    Value n2 = make_string("a"), n5 = make_int(7), n8 = make_double(2.5), n6 = make_string("b");
    Value n1 = make_instruction(Op::OP_THROW, n2, 0);
    Value n4 = make_instruction(Op::OP_THROW, n5, 0);
    Value n3 = make_array(0);
    array_push(n3, n4);
    array_push(n3, n6);
    Value n7 = make_instruction(Op::OP_THROW, n8, 0);
    Value ops[3] = {n1, n3, n7};
    Value n0 = make_instruction(Op::OP_BLOCK, 3, ops, 0);
    for (Value v : {n0, n1, n2, n3, n4, n5, n6, n7, n8}) node(v);
    const InstructionFreedFn kept = g_hooks.instruction_freed;
    g_hooks.instruction_freed = [](const void*) {
        std::string flags;
        for (Value v : nodes) flags += cell_of(v)->header == kFreeCellHeader ? 'x' : '-';
        seen.push_back(flags);
    };
    value_drop_temp(n0);
    g_hooks.instruction_freed = kept;
    //                                 n0 n1 n2 n3 n4 n5 n6 n7 n8
    const std::vector<std::string> expected = {"---------",   // n0 starts
                                               "---------",   // n1 starts
                                               "-xx------",   // n4: n1's tree gone, n3 still there
                                               "-xxxxxx--"};  // n7: n3's tree gone too
    EXPECT_EQ(seen, expected);
    for (Value v : nodes) EXPECT_EQ(cell_of(v)->header, kFreeCellHeader);
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
