// The display and plain text forms, and joining.
#include <gtest/gtest.h>

#include "host/errors.h"
#include "runtime/objects.h"
#include "runtime/refcount.h"
#include "runtime/symbols.h"
#include "runtime/text.h"
#include "support/fresh.h"

namespace koru {
namespace {

using testing::expect_raise;
class Text : public testing::Fresh {
protected:
    static std::string display(Value v, bool quote) {
        std::string s;
        write_display(v, s, quote);
        return s;
    }
    static std::string plain(Value v) {
        std::string s;
        write_plain(v, s);
        return s;
    }
    static Value strings(std::initializer_list<const char*> items) {
        Value a = make_array(0);
        for (const char* s : items) array_push(a, make_string(s));
        return a;
    }
};

TEST_F(Text, Scalars) {
    Value date = cell_alloc(Kind::Date).value;
    auto* d = cell_as<DateCell>(date);
    d->year = 2024; d->month_flags = 1; d->day_weekday = 29; d->hour = 9; d->minute = 5; d->second = 7;
    char code[] = "42";
    Value err = make_error_object(CodeType::Integer, code, 2, "boom", 4);
    struct { Value v; const char* text; } cases[] = {
        {kUndefinedValue, "undefined"}, {kTrueValue, "true"}, {kFalseValue, "false"}, {kNullValue, "null"},
        {kNaNValue, "NaN"}, {make_int(-17), "-17"}, {make_double(1.25), "1.25"}, {make_double(3.0), "3.0"},
        {make_double(1e-11), "0.0"}, {make_double(0.5), "0.5"}, {make_double(-2.0), "-2.0"},
        {make_double(123456.789), "123456.789"}, {make_double(1.0 / 3), "0.3333333333"},
        {Value::area(Kind::SqlObject, AreaAddr{0}), "SQL_Object"},
        {Value::area(Kind::DbConnection, AreaAddr{0}), "DB_Connection"},
        {date, "2024-02-29 09:05:07"}, {err, "42:boom"}};
    for (auto& c : cases) {
        EXPECT_EQ(display(c.v, false), c.text);
        EXPECT_EQ(display(c.v, true), c.text);
        EXPECT_EQ(plain(c.v), c.text);
    }
    d->millis_word = 7;
    EXPECT_EQ(display(date, false), "2024-02-29 09:05:07.007");
}

TEST_F(Text, StringsAndContainers) {
    Value ab = strings({"a", "b"});
    EXPECT_EQ(display(ab, false), "[a,b]");
    EXPECT_EQ(display(ab, true), "[\"a\",\"b\"]");
    EXPECT_EQ(plain(ab), "[\"a\",\"b\"]");
    Value q = make_string("say \"hi\"");
    EXPECT_EQ(display(q, true), "\"say \"hi\"\"");
    EXPECT_EQ(plain(q), "say \"hi\"");
    EXPECT_EQ(display(make_array(0), false), "[]");
    EXPECT_EQ(display(make_hash(0), false), "{}");
    EXPECT_EQ(plain(make_hash(0)), "{}");

    uint32_t a = intern("a"), k = intern("k");
    Value h = make_hash(2);
    hash_pairs(h)[0] = {Value::symbol(a), value_retain(make_string("x"))};
    hash_pairs(h)[1] = {Value::symbol(k), value_retain(ab)};
    EXPECT_EQ(display(h, false), "{'a':\"x\",'k':[\"a\",\"b\"]}");
    EXPECT_EQ(plain(h), "{a:\"x\",k:[\"a\",\"b\"]}");

    Value keyed = make_keyed_array(2);
    keyed_pairs(keyed)[0] = {Value::int_key(5), value_retain(make_string("five"))};
    keyed_pairs(keyed)[1] = {Value::symbol(k), value_retain(make_int(1))};
    EXPECT_EQ(display(keyed, false), "[5:five,k:1]");
    EXPECT_EQ(display(keyed, true), "[5:\"five\",k:1]");
    EXPECT_EQ(plain(keyed), "[5:\"five\",k:1]");

    Value nested = make_array(0);
    array_push(nested, make_int(1));
    array_push(nested, h);
    EXPECT_EQ(display(nested, false), "[1,{'a':\"x\",'k':[\"a\",\"b\"]}]");
}

TEST_F(Text, Instructions) {
    NewCell c = cell_alloc(Kind::Instruction);
    reinterpret_cast<InstrCell*>(c.cell)->opcode = 123;
    EXPECT_EQ(display(c.value, false), "Operation");
    EXPECT_EQ(plain(c.value), "operation_index: 123");
}

TEST_F(Text, KindsWithoutATextForm) {
    Value fn = cell_alloc(Kind::Function).value;
    EXPECT_EQ(expect_raise([&] { display(fn, false); }).code, "2520");
    EXPECT_EQ(expect_raise([&] { plain(fn); }).code, "2522");
    Value arr = make_array(0);
    array_push(arr, fn);
    EXPECT_EQ(expect_raise([&] { display(arr, true); }).code, "2520");
    // A container that holds itself has no finite text form either.
    Value self = make_array(0);
    array_push(self, self);
    EXPECT_EQ(expect_raise([&] { display(self, false); }).code, "2520");
    EXPECT_EQ(expect_raise([&] { plain(self); }).code, "2520");
}

TEST_F(Text, Join) {
    enter_run_phase();
    Value arr = make_array(0);
    array_push(arr, make_string("a"));
    array_push(arr, make_int(2));
    array_push(arr, make_double(0.5));
    auto at = [](const void* ctx, uint32_t i) { return array_elements(*static_cast<const Value*>(ctx))[i]; };
    EXPECT_EQ(string_view_of(join_values(3, at, &arr, nullptr)), "a,2,0.5");
    Value sep = make_string(" - ");
    EXPECT_EQ(string_view_of(join_values(3, at, &arr, &sep)), "a - 2 - 0.5");
    Value empty = join_values(0, at, &arr, nullptr);
    EXPECT_EQ(string_length(empty), 0u);
    EXPECT_EQ(cell_as<StringCell>(empty)->capacity, 8u);
    Value num = make_int(1);
    auto r = expect_raise([&] { join_values(3, at, &arr, &num); });
    EXPECT_EQ(r.code, "2525");
    EXPECT_NE(r.message.find("引数不正"), std::string::npos);
}

}  // namespace
}  // namespace koru
