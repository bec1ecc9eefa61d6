// Date cells and the calendar: the conversions between seconds and local or
// UTC fields, the zone offset and the clock.
#include <climits>
#include <cmath>
#include <ctime>

#include "builtins/date/date.h"
#include "host/errors.h"
#include "runtime/area.h"
#include "runtime/cell.h"

namespace koru {

namespace {

[[noreturn]] void unrepresentable() { raise_runtime(err::date_before_epoch); }

int to_tm_int(int64_t v) {
    if (v < INT_MIN || v > INT_MAX) unrepresentable();
    return static_cast<int>(v);
}

int64_t floor_div(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Days from 1970-01-01 to the first of month m (1-12) of year y, proleptic
// Gregorian.
int64_t days_from_civil(int64_t y, int64_t m) {
    y -= m <= 2;
    int64_t era = floor_div(y, 400);
    int64_t yoe = y - era * 400;
    int64_t mp = (m + 9) % 12;
    int64_t doy = (153 * mp + 2) / 5;
    int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// The calendar date of a day count from 1970-01-01 (proleptic Gregorian).
void civil_from_days(int64_t days, int64_t* y, int64_t* m, int64_t* d) {
    days += 719468;
    int64_t era = floor_div(days, 146097);
    int64_t doe = days - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = yoe + era * 400 + (*m <= 2);
}

void fill(DateCell& d, const std::tm& t, uint32_t seconds, unsigned millis) {
    d.month_flags = static_cast<uint8_t>((d.month_flags & 0xF0) | (t.tm_mon & 0x0F));
    d.hour = static_cast<uint8_t>(t.tm_hour);
    d.day_weekday = static_cast<uint8_t>((t.tm_mday & 0x1F) | (t.tm_wday & 7) << 5);
    d.minute = static_cast<uint8_t>(t.tm_min);
    d.second = static_cast<uint8_t>(t.tm_sec > 59 ? 59 : t.tm_sec);  // no leap seconds in the cell
    d.year = static_cast<int16_t>(t.tm_year + 1900);
    d.millis_word = millis & 0x3FF;
    d.seconds = seconds;
}

}  // namespace

uint32_t checked_seconds(int64_t seconds) {
    if (seconds < 0 || seconds > static_cast<int64_t>(UINT32_MAX)) unrepresentable();
    return static_cast<uint32_t>(seconds);
}

std::tm fixed_local_tm(int64_t seconds, long east) {
    int64_t local = seconds + east;
    int64_t days = floor_div(local, 86400);
    int64_t rest = local - days * 86400;
    int64_t y, m, d;
    civil_from_days(days, &y, &m, &d);
    std::tm t{};
    t.tm_year = static_cast<int>(y - 1900);
    t.tm_mon = static_cast<int>(m - 1);
    t.tm_mday = static_cast<int>(d);
    t.tm_hour = static_cast<int>(rest / 3600);
    t.tm_min = static_cast<int>(rest / 60 % 60);
    t.tm_sec = static_cast<int>(rest % 60);
    t.tm_wday = static_cast<int>(days + 4 - floor_div(days + 4, 7) * 7);  // 1970-01-01 was a Thursday
    t.tm_yday = static_cast<int>(days - days_from_civil(y, 1));
    t.tm_gmtoff = east;
    return t;
}

int64_t local_fields_to_seconds(const DateFields& f, std::tm* local) {
    std::tm t{};
    t.tm_year = to_tm_int(f.year - 1900);
    t.tm_mon = to_tm_int(f.month);
    t.tm_mday = to_tm_int(f.day);
    t.tm_hour = to_tm_int(f.hour);
    t.tm_min = to_tm_int(f.minute);
    t.tm_sec = to_tm_int(f.second);
    long east;
    if (fixed_zone_offset(&east)) {
        // One offset: the fields as UTC, moved by it (mktime's answer, which
        // it could only refuse for times far outside a cell's range).
        DateFields n{t.tm_year + 1900LL, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
        int64_t seconds = utc_fields_to_seconds(n) - east;
        if (local && seconds >= 0 && seconds <= static_cast<int64_t>(UINT32_MAX)) *local = fixed_local_tm(seconds, east);
        return seconds;
    }
    t.tm_isdst = -1;
    int64_t seconds = static_cast<int64_t>(std::mktime(&t));  // -1 on failure: refused as negative
    if (local) *local = t;  // mktime leaves the local time of its result in the fields
    return seconds;
}

int64_t utc_fields_to_seconds(const DateFields& f) {
    int64_t year = f.year + floor_div(f.month, 12);
    int64_t month = f.month - floor_div(f.month, 12) * 12;
    int64_t days = days_from_civil(year, month + 1) + f.day - 1;
    return days * 86400 + f.hour * 3600 + f.minute * 60 + f.second;
}

std::tm local_tm(uint32_t seconds) {
    long east;
    if (fixed_zone_offset(&east)) return fixed_local_tm(seconds, east);
    std::time_t s = static_cast<std::time_t>(seconds);
    std::tm t{};
    if (!localtime_r(&s, &t)) unrepresentable();
    return t;
}

std::tm utc_tm(uint32_t seconds) {
    std::time_t s = static_cast<std::time_t>(seconds);
    std::tm t{};
    if (!gmtime_r(&s, &t)) unrepresentable();
    return t;
}

int local_offset_minutes(uint32_t seconds) {
    long east;
    if (fixed_zone_offset(&east)) return static_cast<int>(east / 60);
    return static_cast<int>(local_tm(seconds).tm_gmtoff / 60);
}

int64_t seconds_of_millis(double millis) {
    double q = std::trunc(millis / 1000);
    if (!(q >= 0 && q <= static_cast<double>(UINT32_MAX))) return -1;
    return static_cast<int64_t>(q);
}

Value make_date(int64_t seconds, uint8_t flags, unsigned millis) {
    uint32_t s = checked_seconds(seconds);
    std::tm t = local_tm(s);  // before the cell exists: a failure leaves nothing behind
    NewCell c = cell_alloc(Kind::Date);
    DateCell& d = *cell_as<DateCell>(c.value);
    d.month_flags = flags & 0xF0;
    fill(d, t, s, millis);
    return c.value;
}

void refresh_date(Value date, int64_t seconds, unsigned millis) {
    uint32_t s = checked_seconds(seconds);
    std::tm t = local_tm(s);
    fill(*cell_as<DateCell>(date), t, s, millis);
}

Value make_local_date(const DateFields& f, uint8_t flags, unsigned millis) {
    std::tm t{};
    uint32_t s = checked_seconds(local_fields_to_seconds(f, &t));
    NewCell c = cell_alloc(Kind::Date);
    DateCell& d = *cell_as<DateCell>(c.value);
    d.month_flags = flags & 0xF0;
    fill(d, t, s, millis);
    return c.value;
}

void refresh_local_date(Value date, const DateFields& f, unsigned millis) {
    std::tm t{};
    uint32_t s = checked_seconds(local_fields_to_seconds(f, &t));
    fill(*cell_as<DateCell>(date), t, s, millis);
}

Now clock_now() {
    std::timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return {static_cast<int64_t>(ts.tv_sec), static_cast<unsigned>(ts.tv_nsec / 1000000)};
}

}  // namespace koru
