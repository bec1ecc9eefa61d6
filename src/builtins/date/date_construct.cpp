// Date(...) and new Date(...), and the static functions Date.now, Date.parse
// and Date.UTC.
#include <ctime>

#include "builtins/date/date.h"
#include "builtins/method_table.h"
#include "host/errors.h"
#include "interp/handlers.h"
#include "interp/evaluate.h"
#include "interp/methods.h"
#include "interp/opcodes.h"
#include "interp/support.h"
#include "runtime/objects.h"
#include "runtime/symbols.h"

namespace koru {

namespace {

constexpr uint32_t kMaxDateArgs = 7;
constexpr int64_t kMaxYear = 3000;

[[noreturn]] void bad_value() { raise_runtime(err::date_value_bad); }

struct FieldArgs {
    DateFields fields;
    unsigned millis = 0;
};

int64_t non_negative_int(Value v) {
    if (v.kind() != Kind::Int || int_value(v) < 0) bad_value();
    return int_value(v);
}

// year, month[, day[, hours[, minutes[, seconds[, milliseconds]]]]]: all
// non-negative integers; a year below 100 counts from 1900.  Milliseconds of
// 1000 or more carry into the seconds.
FieldArgs field_args(const Value* args, uint32_t n) {
    int64_t v[kMaxDateArgs] = {0, 0, 1, 0, 0, 0, 0};
    for (uint32_t i = 0; i < n && i < kMaxDateArgs; ++i) v[i] = non_negative_int(args[i]);
    FieldArgs a;
    if (v[0] > kMaxYear) bad_value();
    a.fields.year = v[0] < 100 ? 1900 + v[0] : v[0];
    a.fields.month = v[1];
    a.fields.day = v[2];
    a.fields.hour = v[3];
    a.fields.minute = v[4];
    a.fields.second = v[5] + v[6] / 1000;
    a.millis = static_cast<unsigned>(v[6] % 1000);
    if (a.fields.year < 1970 || a.fields.day == 0)
        raise_runtime(err::date_fields_before_epoch);
    return a;
}

Value date_of(Value arg) {
    switch (arg.kind()) {
    case Kind::Int: return make_date(int_value(arg) / 1000, kDateAbsolute, 0);
    case Kind::Double: return make_date(seconds_of_millis(double_value(arg)), kDateAbsolute, 0);
    case Kind::String: {
        ParsedDate p = parse_date_text(string_view_of(arg));
        return make_date(p.seconds, p.flags, p.millis);
    }
    default: return kUndefinedValue;
    }
}

// ---- the static functions --------------------------------------------------------------

Value date_now() { return make_double(static_cast<double>(std::time(nullptr)) * 1000); }

Value date_parse(Value text) {
    if (text.kind() != Kind::String) raise_runtime(err::date_parse_not_text);
    ParsedDate p = parse_date_text(string_view_of(text));
    return make_double(static_cast<double>(p.seconds) * 1000 + p.millis);
}

Value date_utc(const Value* args, uint32_t n) {
    FieldArgs a = field_args(args, n);
    return make_double(static_cast<double>(utc_fields_to_seconds(a.fields)) * 1000 + a.millis);
}

using StaticFn = Value (*)(const Value* args, uint32_t n);
Value s_now(const Value*, uint32_t) { return date_now(); }
Value s_parse(const Value* args, uint32_t) { return date_parse(args[0]); }

constexpr MethodRow<StaticFn> kRows[] = {
    {"now", exactly(0), s_now},
    {"parse", exactly(1), s_parse},
    {"UTC", between(1, 7), date_utc},
};
constexpr auto kTable = method_table<6>(kRows, {err::date_method_unknown, CountErrors{err::date_static_too_few, err::date_static_too_many}});
static_assert(text_is(slot_text(kTable), "now   parse UTC   "));

bool date_static(Value, uint32_t name, const Value* args, uint32_t n, Value* result) {
    int slot = kTable.slot(name);
    if (slot == kNoMethod) return false;
    check_arg_count(kTable[slot].rule, n, *kTable.errors.count);
    *result = kTable[slot].handler(args, n);
    return true;
}

// The Date instruction: its operands are the argument expressions.
}  // namespace

Value h_date(const InstrCell& c) {
    uint32_t n = c.operand_count();
    if (n > kMaxDateArgs) raise_runtime(err::date_arguments_bad);
    TempGuard held[kMaxDateArgs];
    Value args[kMaxDateArgs];
    for (uint32_t i = 0; i < n; ++i) {
        // Borrowed values read so far stay alive while later arguments run code.
        for (uint32_t j = 0; j < i; ++j) held[j].hold_across(operand(c, i));
        held[i].reset(evaluate(operand(c, i)));
        args[i] = held[i].get();
    }
    return date_construct(args, n);
}

Value date_construct(const Value* args, uint32_t n) {
    if (n == 0) {
        Now now = clock_now();
        return make_date(now.seconds, 0, now.millis);
    }
    if (n == 1) return date_of(args[0]);
    if (n > kMaxDateArgs) raise_runtime(err::date_arguments_bad);
    FieldArgs a = field_args(args, n);
    return make_local_date(a.fields, 0, a.millis);
}

void date_install() {
    set_method_family(MethodFamily::DateStatic, date_static, kTable.errors.unknown);
    date_methods_install();
}

MethodListing date_static_method_listing() { return listing_of("Date (static)", kTable); }

}  // namespace koru
