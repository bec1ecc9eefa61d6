// The text forms of a Date: toDateString, toISOString/toJSON, toString,
// toTimeString and toUTCString.  All of them write the cell's local fields;
// toString and toTimeString add the zone's offset from UTC at that instant.
#include <cstdlib>
#include <cstring>
#include <string_view>

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

// The text is written field by field into a fixed buffer; no form comes near
// its size, even with the widest values a damaged cell can hold.
class Text {
public:
    Text& put(std::string_view s) {
        std::memcpy(p_, s.data(), s.size());
        p_ += s.size();
        return *this;
    }
    Text& put(char c) {
        *p_++ = c;
        return *this;
    }
    // At least `width` characters, zeros after any minus sign (as "%0*d").
    Text& num(int v, int width) {
        unsigned u = v < 0 ? 0u - static_cast<unsigned>(v) : static_cast<unsigned>(v);
        char digits[10];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + u % 10);
            u /= 10;
        } while (u != 0);
        if (v < 0) {
            *p_++ = '-';
            --width;
        }
        for (int z = width - n; z > 0; --z) *p_++ = '0';
        while (n > 0) *p_++ = digits[--n];
        return *this;
    }
    Value value() const { return make_string(buf_, static_cast<size_t>(p_ - buf_)); }

private:
    char buf_[128];
    char* p_ = buf_;
};

Text& put_time(Text& t, const DateCell& d) {
    return t.num(d.hour, 2).put(':').num(d.minute, 2).put(':').num(d.second, 2);
}

// "GMT+hhmm"
Text& put_offset(Text& t, const Offset& o) { return t.put("GMT").put(o.sign).num(o.hours, 2).num(o.minutes, 2); }

// "Www Mmm dd yyyy"
Text& put_date(Text& t, const DateCell& d) {
    return t.put(weekday_abbrev(d.weekday())).put(' ').put(month_abbrev(d.month())).put(' ')
        .num(static_cast<int>(d.day()), 2).put(' ').num(year_of(d), 4);
}

Value date_string(const DateCell& d) {
    Text t;
    return put_date(t, d).value();
}

Value iso_string(const DateCell& d) {
    Text t;
    t.num(year_of(d), 4).put('-').num(static_cast<int>(d.month()) + 1, 2).put('-').num(static_cast<int>(d.day()), 2);
    put_time(t.put('T'), d).put('.').num(static_cast<int>(d.millis()), 3).put('Z');
    return t.value();
}

Value long_string(const DateCell& d) {
    Offset o = offset_of(d);
    Text t;
    put_offset(put_time(put_date(t, d).put(' '), d).put(' '), o);
    t.put(" (GMT").put(o.sign).num(o.hours, 2).put(':').num(o.minutes, 2).put(')');
    return t.value();
}

Value time_string(const DateCell& d) {
    Offset o = offset_of(d);
    Text t;
    put_offset(put_time(t, d).put(' '), o);
    return t.value();
}

Value utc_string(const DateCell& d) {
    Text t;
    t.put(weekday_abbrev(d.weekday())).put(", ").num(static_cast<int>(d.day()), 2).put(' ');
    t.put(month_abbrev(d.month())).put(' ').num(year_of(d), 4).put(' ');
    put_time(t, d).put(" GMT");
    return t.value();
}

}  // namespace

std::string_view weekday_abbrev(unsigned weekday) { return weekday < 7 ? kAbbrevs.substr(weekday * 3, 3) : kUnknown; }

std::string_view month_abbrev(unsigned month) { return month < 12 ? kAbbrevs.substr(21 + month * 3, 3) : kUnknown; }

Value date_format(Value self, unsigned slot) {
    const DateCell& d = *cell_as<DateCell>(self);
    switch (slot) {
    case kDateString: return date_string(d);
    case kString: return long_string(d);
    case kTimeString: return time_string(d);
    case kUtcString: return utc_string(d);
    default: return iso_string(d);  // toISOString, toJSON
    }
}

}  // namespace koru
