// Date values (kind 5): a 16-byte cell with the local calendar fields and
// the time in seconds since 1970.  The cell holds the seconds in 32 bits, so
// a date exists from 1970-01-01 00:00:00 UTC to early 2106; anything outside
// is refused with the pre-1970 error.
#pragma once
#include <cstdint>
#include <ctime>
#include <string_view>

#include "builtins/method_table.h"
#include "runtime/value.h"

namespace koru {

// ---- date_value.cpp: cells, clock and calendar ---------------------------

constexpr uint8_t kDateAbsolute = 16;  // made from a time value or a GMT/UTC text

// Local calendar fields before normalisation (month 0-based, any range).
struct DateFields {
    int64_t year = 1970;
    int64_t month = 0;
    int64_t day = 1;
    int64_t hour = 0;
    int64_t minute = 0;
    int64_t second = 0;
};

// Seconds as the cell holds them; anything else raises 5500.
uint32_t checked_seconds(int64_t seconds);
// The fields read as local time, normalised (month 12 is next January).
// A conversion the C library refuses, or fields too large for it, raises 5500.
// With `local`, the broken-down local time of the result goes there too
// (meaningful only when the result is a time a cell can hold).
int64_t local_fields_to_seconds(const DateFields& f, std::tm* local = nullptr);
// The fields read as UTC (exact calendar arithmetic, no time zone).
int64_t utc_fields_to_seconds(const DateFields& f);
// local time - UTC in minutes at the given instant (what the zone says then).
int local_offset_minutes(uint32_t seconds);
// The broken-down time of a stored instant, local or UTC (5500 on failure).
std::tm local_tm(uint32_t seconds);
std::tm utc_tm(uint32_t seconds);

// Milliseconds to whole seconds, truncated toward zero; -1 (refused by
// make_date) for a value no date can hold, NaN and infinities included.
int64_t seconds_of_millis(double millis);

// A fresh Date (count 0), or the cell's fields refreshed from `seconds`.
Value make_date(int64_t seconds, uint8_t flags, unsigned millis);
void refresh_date(Value date, int64_t seconds, unsigned millis);
// The same from local fields (local_fields_to_seconds, then the cell).
Value make_local_date(const DateFields& f, uint8_t flags, unsigned millis);
void refresh_local_date(Value date, const DateFields& f, unsigned millis);
// The local broken-down time of an instant in a zone `east` seconds ahead
// of UTC at every instant.
std::tm fixed_local_tm(int64_t seconds, long east);

// The current time.
struct Now {
    int64_t seconds;
    unsigned millis;
};
Now clock_now();

// ---- date_zone.cpp: zones of one offset -------------------------------------

// True, with the offset in seconds east of UTC, when the local zone (TZ, or
// the system's zone when TZ is unset) keeps that one offset at every instant
// a date can hold; false leaves the conversions to the C library.  The answer
// is kept until TZ changes.
bool fixed_zone_offset(long* east);
// The parts of that decision: zone data as the zone files hold it, and a
// zone rule text ("JST-9", "<+0545>-5:45"); true only for one offset.
bool tzif_fixed_offset(std::string_view data, long* east);
bool posix_zone_fixed_offset(std::string_view text, long* east);

// ---- date_parse.cpp: date texts ---------------------------------------------

struct ParsedDate {
    int64_t seconds;
    unsigned millis;
    uint8_t flags;
};
ParsedDate parse_date_text(std::string_view text);

// ---- date_construct.cpp: Date(...), Date.now/parse/UTC ----------------------

Value date_construct(const Value* args, uint32_t n);
void date_install();

// ---- date_methods.cpp / date_format.cpp ---------------------------------------

// The slot of `name` in a list of fixed-width, blank-padded names, or -1.
// Argument-count rules of the method lists: a rule below 10 is the exact
// count; a character '0'..'9' is a minimum, with `max` ('0'..'9') above it.
// Breaking the rule raises `few` (too few, or not the exact count) or
// `many` with the message.
int find_method_slot(std::string_view names, size_t width, std::string_view name);

// find_method_slot for a method symbol of one name list, through the
// families' cache of recent answers (which never serves a symbol that now
// spells another name).
class MethodSlotMemo {
public:
    MethodSlotMemo(std::string_view names, size_t width) : names_(names), width_(width) {}
    int find(uint32_t symbol) const { return cached_method_slot(names_, width_, symbol, find_method_slot); }

private:
    std::string_view names_;
    size_t width_;
};
void check_arg_count(uint8_t rule, uint8_t max, uint32_t n, err::Plain few, err::Plain many);

bool date_method(Value self, uint32_t name, const Value* args, uint32_t n, Value* result);
// The text methods: slot index in the method list to the formatted string.
Value date_format(Value self, unsigned slot);
// Abbreviations of the weekday (0 = Sunday) and month (0 = January); "???"
// for a field out of range (a cell read from a damaged object file).
std::string_view weekday_abbrev(unsigned weekday);
std::string_view month_abbrev(unsigned month);

}  // namespace koru
