// Methods of Date values: the getters read the cell's local fields, the
// setters rebuild the time through the local-time conversion (which
// normalises out-of-range fields) and refresh the cell in place.
#include <cstring>
#include <string_view>

#include "builtins/date/date.h"
#include "builtins/method_table.h"
#include "host/errors.h"
#include "interp/methods.h"
#include "runtime/area.h"
#include "runtime/cell.h"
#include "runtime/objects.h"
#include "runtime/symbols.h"

namespace koru {

namespace {

using DateHandler = Value (*)(Value self, unsigned slot, const Value* args, uint32_t n);

DateCell& cell(Value self) { return *cell_as<DateCell>(self); }
Value time_value(const DateCell& d) { return make_double(static_cast<double>(d.seconds) * 1000 + d.millis()); }

// ---- getters -------------------------------------------------------------------------------

Value get_field(Value self, unsigned slot, const Value*, uint32_t) {
    const DateCell& d = cell(self);
    switch (slot) {
    case 0: return make_int(static_cast<int32_t>(d.day()));
    case 1: return make_int(static_cast<int32_t>(d.weekday()));
    case 2: return make_int(d.year);
    case 3: return make_int(d.hour);
    case 5: return make_int(d.minute);
    case 6: return make_int(static_cast<int32_t>(d.month()));
    case 7: case 25: return make_int(d.second);
    default: return make_int(static_cast<int32_t>(d.millis()));  // 4, 22
    }
}

Value get_time(Value self, unsigned, const Value*, uint32_t) { return time_value(cell(self)); }

Value get_timezone_offset(Value self, unsigned, const Value*, uint32_t) {
    return make_int(-local_offset_minutes(cell(self).seconds));
}

Value get_utc_field(Value self, unsigned slot, const Value*, uint32_t) {
    std::tm t = utc_tm(cell(self).seconds);
    switch (slot) {
    case 18: return make_int(t.tm_mday);
    case 19: return make_int(t.tm_wday);
    case 20: return make_int(t.tm_year + 1900);
    case 21: return make_int(t.tm_hour);
    case 23: return make_int(t.tm_min);
    default: return make_int(t.tm_mon);  // 24
    }
}

// ---- setters -------------------------------------------------------------------------------

enum Field : unsigned { kYear, kMonth, kDay, kHour, kMinute, kSecond, kMillis, kFieldCount };

struct SetterRule {
    unsigned slot;
    Field first;  // the field of the first argument; the others follow in order
    err::Ref<int, const char*> error;  // an argument that is not an integer
};
constexpr SetterRule kSetters[] = {
    {10, kDay, err::date_set_day},         {11, kYear, err::date_set_year},
    {12, kHour, err::date_set_hours},      {13, kMillis, err::date_set_milliseconds},
    {14, kMinute, err::date_set_minutes},  {15, kMonth, err::date_set_month},
    {16, kSecond, err::date_set_seconds},  {17, kMillis, err::date_set_time},
};

const SetterRule& setter_rule(unsigned slot) {
    for (const SetterRule& r : kSetters)
        if (r.slot == slot) return r;
    return kSetters[0];
}

[[noreturn]] void bad_argument(const SetterRule& r);

void require_ints(const SetterRule& r, const Value* args, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i)
        if (args[i].kind() != Kind::Int) bad_argument(r);
}

bool valid_millis(int64_t ms) { return ms >= 0 && ms <= 999; }

Value set_fields(Value self, unsigned slot, const Value* args, uint32_t n) {
    const SetterRule& r = setter_rule(slot);
    require_ints(r, args, n);
    DateCell& d = cell(self);
    int64_t f[kFieldCount] = {d.year, d.month(), d.day(), d.hour, d.minute, d.second, d.millis()};
    for (uint32_t i = 0; i < n && r.first + i < kFieldCount; ++i) f[r.first + i] = int_value(args[i]);
    if (!valid_millis(f[kMillis])) bad_argument(r);
    if (f[kYear] < 1970 || f[kMonth] < 0 || f[kDay] == 0)
        raise_runtime(err::date_fields_before_epoch);
    DateFields fields{f[kYear], f[kMonth], f[kDay], f[kHour], f[kMinute], f[kSecond]};
    refresh_local_date(self, fields, static_cast<unsigned>(f[kMillis]));
    return time_value(d);
}

Value set_milliseconds(Value self, unsigned slot, const Value* args, uint32_t) {
    const SetterRule& r = setter_rule(slot);
    if (args[0].kind() != Kind::Int || !valid_millis(int_value(args[0]))) bad_argument(r);
    DateCell& d = cell(self);
    d.millis_word = static_cast<uint32_t>(int_value(args[0]));
    return time_value(d);
}

Value set_time(Value self, unsigned slot, const Value* args, uint32_t) {
    Value ms = args[0];
    int64_t seconds;
    if (ms.kind() == Kind::Int) seconds = int_value(ms) / 1000;
    else if (ms.kind() == Kind::Double) seconds = seconds_of_millis(double_value(ms));
    else bad_argument(setter_rule(slot));
    refresh_date(self, seconds, 0);
    return time_value(cell(self));
}

Value format(Value self, unsigned slot, const Value*, uint32_t) { return date_format(self, slot); }

// The slot number selects the handler's case and the setter's rule.  Slots
// 26 to 32 have no method.
constexpr MethodRow<DateHandler> kRows[] = {
    {"getDate", exactly(0), get_field},
    {"getDay", exactly(0), get_field},
    {"getFullYear", exactly(0), get_field},
    {"getHours", exactly(0), get_field},
    {"getMilliseconds", exactly(0), get_field},
    {"getMinutes", exactly(0), get_field},
    {"getMonth", exactly(0), get_field},
    {"getSeconds", exactly(0), get_field},
    {"getTime", exactly(0), get_time},
    {"getTimezoneOffset", exactly(0), get_timezone_offset},
    {"setDate", exactly(1), set_fields},
    {"setFullYear", between(1, 3), set_fields},
    {"setHours", between(1, 4), set_fields},
    {"setMilliseconds", exactly(1), set_milliseconds},
    {"setMinutes", between(1, 3), set_fields},
    {"setMonth", between(1, 2), set_fields},
    {"setSeconds", between(1, 2), set_fields},
    {"setTime", exactly(1), set_time},
    {"getUTCDate", exactly(0), get_utc_field},
    {"getUTCDay", exactly(0), get_utc_field},
    {"getUTCFullYear", exactly(0), get_utc_field},
    {"getUTCHours", exactly(0), get_utc_field},
    {"getUTCMilliseconds", exactly(0), get_field},
    {"getUTCMinutes", exactly(0), get_utc_field},
    {"getUTCMonth", exactly(0), get_utc_field},
    {"getUTCSeconds", exactly(0), get_field},
    {"", exactly(0), nullptr},
    {"", exactly(0), nullptr},
    {"", exactly(0), nullptr},
    {"", exactly(0), nullptr},
    {"", exactly(0), nullptr},
    {"", exactly(0), nullptr},
    {"", exactly(0), nullptr},
    {"toDateString", exactly(0), format},
    {"toISOString", exactly(0), format},
    {"toString", exactly(0), format},
    {"toTimeString", exactly(0), format},
    {"toJSON", exactly(0), format},
    {"toUTCString", exactly(0), format},
};
constexpr auto kTable = method_table<20>(kRows, {err::date_value_method_unknown, CountErrors{err::date_too_few, err::date_too_many}});
static_assert(text_is(slot_text(kTable),
                      "getDate             getDay              getFullYear         getHours            "
                      "getMilliseconds     getMinutes          getMonth            getSeconds          "
                      "getTime             getTimezoneOffset   setDate             setFullYear         "
                      "setHours            setMilliseconds     setMinutes          setMonth            "
                      "setSeconds          setTime             getUTCDate          getUTCDay           "
                      "getUTCFullYear      getUTCHours         getUTCMilliseconds  getUTCMinutes       "
                      "getUTCMonth         getUTCSeconds                                               "
                      "                                                                                "
                      "                    toDateString        toISOString         toString            "
                      "toTimeString        toJSON              toUTCString         "));

[[noreturn]] void bad_argument(const SetterRule& r) {
    std::string_view name = kTable.rows[r.slot].name;
    raise_runtime(r.error, static_cast<int>(name.size()), name.data());
}

bool date_method(Value self, uint32_t name, const Value* args, uint32_t n, Value* result) {
    int slot = kTable.slot(name);
    if (slot == kNoMethod) return false;
    check_arg_count(kTable[slot].rule, n, *kTable.errors.count);
    *result = kTable[slot].handler(self, static_cast<unsigned>(slot), args, n);
    return true;
}

}  // namespace

void date_methods_install() { set_method_family(MethodFamily::Date, date_method, kTable.errors.unknown); }

MethodListing date_method_listing() { return listing_of("Date", kTable); }

}  // namespace koru
