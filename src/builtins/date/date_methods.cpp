// Methods of Date values: the getters read the cell's local fields, the
// setters rebuild the time through the local-time conversion (which
// normalises out-of-range fields) and refresh the cell in place.
#include <array>
#include <cstring>
#include <initializer_list>

#include "builtins/date/date.h"
#include "host/errors.h"
#include "runtime/area.h"
#include "runtime/cell.h"
#include "runtime/objects.h"
#include "runtime/symbols.h"

namespace koru {

namespace {

constexpr size_t kSlotWidth = 20;
constexpr size_t kSlotCount = 39;

constexpr std::array<char, kSlotWidth * kSlotCount> slot_text(std::initializer_list<std::string_view> names) {
    std::array<char, kSlotWidth * kSlotCount> out{};
    for (char& c : out) c = ' ';
    size_t slot = 0;
    for (std::string_view n : names) {
        for (size_t i = 0; i < n.size() && i < kSlotWidth; ++i) out[slot * kSlotWidth + i] = n[i];
        ++slot;
    }
    return out;
}

// The slot number selects the handler and the argument rule.
constexpr auto kMethodText = slot_text({
    "getDate", "getDay", "getFullYear", "getHours", "getMilliseconds", "getMinutes", "getMonth", "getSeconds",
    "getTime", "getTimezoneOffset", "setDate", "setFullYear", "setHours", "setMilliseconds", "setMinutes",
    "setMonth", "setSeconds", "setTime", "getUTCDate", "getUTCDay", "getUTCFullYear", "getUTCHours",
    "getUTCMilliseconds", "getUTCMinutes", "getUTCMonth", "getUTCSeconds", "", "", "", "", "", "", "",
    "toDateString", "toISOString", "toString", "toTimeString", "toJSON", "toUTCString",
});
constexpr std::string_view kMethodNames(kMethodText.data(), kMethodText.size());

// Exact counts below 10, else a minimum character with a maximum beside it.
constexpr uint8_t kArgRule[kSlotCount] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0,            // getters
    1, '1', '1', 1, '1', '1', '1', 1,        // setDate .. setTime
    0, 0, 0, 0, 0, 0, 0, 0,                  // UTC getters
    0, 0, 0, 0, 0, 0, 0,                     // empty slots
    0, 0, 0, 0, 0, 0,                        // text forms
};
constexpr uint8_t kArgMax[kSlotCount] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, '3', '4', 0, '3', '2', '2', 0,
};

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

[[noreturn]] void bad_argument(const SetterRule& r) {
    std::string_view name = kMethodNames.substr(r.slot * kSlotWidth, kSlotWidth);
    name = name.substr(0, name.find(' '));
    raise_runtime(r.error, static_cast<int>(name.size()), name.data());
}

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

constexpr DateHandler kHandlers[kSlotCount] = {
    get_field, get_field, get_field, get_field, get_field, get_field, get_field, get_field,
    get_time, get_timezone_offset,
    set_fields, set_fields, set_fields, set_milliseconds, set_fields, set_fields, set_fields, set_time,
    get_utc_field, get_utc_field, get_utc_field, get_utc_field, get_field, get_utc_field, get_utc_field, get_field,
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    format, format, format, format, format, format,
};

}  // namespace

// The first slot that begins with the name and has a blank (or the slot's
// end) right after it.
int find_method_slot(std::string_view names, size_t width, std::string_view name) {
    if (name.empty() || name.size() > width) return -1;
    for (size_t pos = 0; pos + name.size() <= names.size(); pos += width) {
        if (names[pos] != name[0] || names.compare(pos, name.size(), name) != 0) continue;
        size_t end = pos + name.size();
        if (name.size() == width || (end < names.size() && names[end] == ' ')) return static_cast<int>(pos / width);
    }
    return -1;
}

void check_arg_count(uint8_t rule, uint8_t max, uint32_t n, err::Plain few, err::Plain many) {
    if (rule < 10) {
        if (n != rule) raise_runtime(few);
        return;
    }
    if (n < static_cast<uint32_t>(rule - '0')) raise_runtime(few);
    if (max >= '0' && n > static_cast<uint32_t>(max - '0')) raise_runtime(many);
}

bool date_method(Value self, uint32_t name, const Value* args, uint32_t n, Value* result) {
    static MethodSlotMemo memo(kMethodNames, kSlotWidth);
    int slot = memo.find(name);
    if (slot < 0 || !kHandlers[slot]) return false;
    check_arg_count(kArgRule[slot], kArgMax[slot], n, err::date_too_few, err::date_too_many);
    *result = kHandlers[slot](self, static_cast<unsigned>(slot), args, n);
    return true;
}

}  // namespace koru
