#include <gtest/gtest.h>

#include "runtime/area.h"
#include "runtime/objects.h"
#include "runtime/refcount.h"
#include "runtime/symbols.h"

namespace koru {
namespace {

TEST(Values, KindsAndImmediates) {
    EXPECT_EQ(Value(0x02000105).kind(), Kind::Int);
    EXPECT_EQ(Value(0x02000105).page(), 1u);
    EXPECT_EQ(Value(0x02000105).slot(), 5u);
    EXPECT_TRUE(is_area_kind(Kind::Exception));
    EXPECT_FALSE(is_area_kind(Kind::String));
    EXPECT_TRUE(Value::symbol(53).is_symbol());
    EXPECT_FALSE(kNaNValue.is_symbol());
}

}  // namespace
}  // namespace koru
