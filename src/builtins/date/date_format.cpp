// The text forms of a Date: toDateString, toISOString/toJSON, toString,
// toTimeString and toUTCString.  All of them write the cell's local fields;
// toString and toTimeString add the zone's offset from UTC at that instant.
#include <cstdio>
#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <string>

#include "builtins/date/date.h"
#include "runtime/area.h"
#include "runtime/cell.h"
#include "runtime/objects.h"

namespace koru {

namespace {

constexpr std::string_view kAbbrevs = "SunMonTueWedThuFriSatJanFebMarAprMayJunJulAugSepOctNovDec";
constexpr std::string_view kUnknown = "???";

// Slots of the text methods in the Date method list.
enum FormatSlot : unsigned { kDateString = 33, kIsoString, kString, kTimeString, kJson, kUtcString };

struct Offset {
    char sign;
    int hours;
    int minutes;
};

// West of UTC the sign is '-' and the hours and minutes are written unsigned.
Offset offset_of(const DateCell& d) {
    int m = local_offset_minutes(d.seconds);
    return {m >= 0 ? '+' : '-', std::abs(m) / 60, std::abs(m) % 60};
}

int year_of(const DateCell& d) { return d.year; }

std::string printed(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string printed(const char* fmt, ...) {
    char buf[128];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return std::string(buf, n > 0 ? std::min(static_cast<size_t>(n), sizeof buf - 1) : 0);
}

std::string date_string(const DateCell& d) {
    std::string_view wd = weekday_abbrev(d.weekday()), mo = month_abbrev(d.month());
    return printed("%.*s %.*s %02d %04d", static_cast<int>(wd.size()), wd.data(),
                          static_cast<int>(mo.size()), mo.data(), static_cast<int>(d.day()), year_of(d));
}

std::string iso_string(const DateCell& d) {
    return printed("%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", year_of(d), static_cast<int>(d.month()) + 1,
                          static_cast<int>(d.day()), d.hour, d.minute, d.second, static_cast<int>(d.millis()));
}

std::string long_string(const DateCell& d) {
    std::string_view wd = weekday_abbrev(d.weekday()), mo = month_abbrev(d.month());
    Offset o = offset_of(d);
    return printed("%.*s %.*s %02d %04d %02d:%02d:%02d GMT%c%02d%02d (GMT%c%02d:%02d)",
                          static_cast<int>(wd.size()), wd.data(), static_cast<int>(mo.size()), mo.data(),
                          static_cast<int>(d.day()), year_of(d), d.hour, d.minute, d.second, o.sign, o.hours,
                          o.minutes, o.sign, o.hours, o.minutes);
}

std::string time_string(const DateCell& d) {
    Offset o = offset_of(d);
    return printed("%02d:%02d:%02d GMT%c%02d%02d", d.hour, d.minute, d.second, o.sign, o.hours,
                          o.minutes);
}

std::string utc_string(const DateCell& d) {
    std::string_view wd = weekday_abbrev(d.weekday()), mo = month_abbrev(d.month());
    return printed("%.*s, %02d %.*s %04d %02d:%02d:%02d GMT", static_cast<int>(wd.size()),
                          wd.data(), static_cast<int>(d.day()), static_cast<int>(mo.size()), mo.data(), year_of(d),
                          d.hour, d.minute, d.second);
}

}  // namespace

std::string_view weekday_abbrev(unsigned weekday) { return weekday < 7 ? kAbbrevs.substr(weekday * 3, 3) : kUnknown; }

std::string_view month_abbrev(unsigned month) { return month < 12 ? kAbbrevs.substr(21 + month * 3, 3) : kUnknown; }

Value date_format(Value self, unsigned slot) {
    const DateCell& d = *cell_as<DateCell>(self);
    std::string text;
    switch (slot) {
    case kDateString: text = date_string(d); break;
    case kString: text = long_string(d); break;
    case kTimeString: text = time_string(d); break;
    case kUtcString: text = utc_string(d); break;
    default: text = iso_string(d); break;  // toISOString, toJSON
    }
    return make_string(text);
}

}  // namespace koru
