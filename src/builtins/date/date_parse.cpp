// Date texts.  Two forms: numeric (2023-12-25 10:30:15.123, 2023/12/25T10:30,
// 20231225 10:30:15Z), chosen when the first and third characters are
// digits, and English (Mon Dec 25 2023 10:30:00 GMT+0900, 25 December 2023
// 10:30, Mon, 25 Dec 2023 10:30:15 GMT).  Both need a time after the day.
#include <cstring>

#include "builtins/date/date.h"
#include "host/errors.h"

namespace koru {

namespace {

constexpr std::string_view kShortNames = "SunMonTueWedThuFriSatJanFebMarAprMayJunJulAugSepOctNovDec";
constexpr std::string_view kMonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                            "July",    "August",   "September", "October", "November", "December"};
constexpr size_t kMaxNameLength = 17;

[[noreturn]] void numeric_error() { raise_runtime(err::date_numeric_text_bad); }
[[noreturn]] void english_error() { raise_runtime(err::date_english_text_bad); }

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_space(char c) { return is_blank(c) || c == '\r' || c == '\n'; }

// A read position in the text; characters past the end read as NUL.
class Cursor {
public:
    explicit Cursor(std::string_view s) : s_(s) {}
    char peek(size_t k = 0) const { return pos_ + k < s_.size() ? s_[pos_ + k] : '\0'; }
    bool at_end() const { return pos_ >= s_.size(); }
    void advance(size_t k = 1) { pos_ = pos_ + k < s_.size() ? pos_ + k : s_.size(); }
    bool take(char c) {
        if (at_end() || s_[pos_] != c) return false;
        ++pos_;
        return true;
    }
    void skip_blanks() {
        while (!at_end() && is_blank(s_[pos_])) ++pos_;
    }
    void skip_space() {
        while (!at_end() && is_space(s_[pos_])) ++pos_;
    }
    // Up to `max` digits; the count read (0 when none) goes to *count.
    int64_t digits(size_t max, size_t* count) {
        int64_t v = 0;
        size_t n = 0;
        while (n < max && is_digit(peek())) {
            v = v * 10 + (peek() - '0');
            ++n;
            ++pos_;
        }
        *count = n;
        return v;
    }
    size_t digit_run() const {
        size_t n = 0;
        while (is_digit(peek(n))) ++n;
        return n;
    }
    std::string_view letters() {
        size_t start = pos_;
        while (!at_end() && is_letter(s_[pos_])) ++pos_;
        return s_.substr(start, pos_ - start);
    }

private:
    std::string_view s_;
    size_t pos_ = 0;
};

// Between min and max digits, or the form's error.
int64_t number(Cursor& c, size_t min, size_t max, void (*fail)()) {
    size_t n;
    int64_t v = c.digits(max, &n);
    if (n < min) fail();
    return v;
}

void check_calendar(const DateFields& f) {
    if (f.year < 1970 || f.month < 0 || f.day == 0)
        raise_runtime(err::date_fields_before_epoch);
}

// hours[:minutes[:seconds]] ending at a blank, Z, z or the end of the text.
// The English form needs the minutes.
void read_time(Cursor& c, DateFields& f, bool need_minutes, void (*fail)()) {
    f.hour = number(c, 1, 2, fail);
    if (c.take(':')) {
        f.minute = number(c, 1, 2, fail);
        if (c.take(':')) f.second = number(c, 1, 2, fail);
    } else if (need_minutes) {
        fail();
    }
    char next = c.peek();
    if (!(c.at_end() || is_space(next) || next == 'Z' || next == 'z' || next == '.')) fail();
}

// Optional blanks, then an optional "." and 1-3 digits taken as written
// ("5" is 5 ms), ending at the end, a blank or Z.
unsigned read_fraction(Cursor& c, void (*fail)()) {
    c.skip_blanks();
    if (!c.take('.')) return 0;
    unsigned ms = static_cast<unsigned>(number(c, 1, 3, fail));
    char next = c.peek();
    if (!(c.at_end() || is_space(next) || next == 'Z' || next == 'z')) fail();
    return ms;
}

// ---- numeric form ----------------------------------------------------------------------

void numeric_year(Cursor& c, DateFields& f) {
    size_t run = c.digit_run();
    size_t n;
    if (run >= 4) {
        f.year = c.digits(4, &n);
    } else if (run == 3 && c.peek(3) == ' ') {
        f.year = 1900 + c.digits(3, &n);
        c.advance();
    } else {
        numeric_error();
    }
}

void numeric_month_day(Cursor& c, DateFields& f) {
    char sep = c.peek();
    if (sep == '-' || sep == '/') {
        c.advance();
        f.month = number(c, 1, 2, numeric_error) - 1;
        if (!c.take(sep)) numeric_error();
        f.day = number(c, 1, 2, numeric_error);
    } else if (is_digit(sep)) {
        f.month = number(c, 2, 2, numeric_error) - 1;
        f.day = number(c, 1, 2, numeric_error);
    } else {
        numeric_error();
    }
}

ParsedDate parse_numeric(Cursor& c) {
    DateFields f;
    numeric_year(c, f);
    numeric_month_day(c, f);
    if (!(c.take('T') || c.take(' '))) numeric_error();
    read_time(c, f, false, numeric_error);
    if (!c.take('Z')) c.take('z');
    unsigned ms = read_fraction(c, numeric_error);
    if (!c.take('Z')) c.take('z');
    c.skip_space();
    if (!c.at_end()) numeric_error();
    check_calendar(f);
    return {local_fields_to_seconds(f), ms, 0};
}

// ---- English form ------------------------------------------------------------------------

enum class NameKind { Weekday, Month };
struct Name {
    NameKind kind;
    int month;  // 0-11
};

Name look_up_name(std::string_view word) {
    if (word.size() == 3) {
        for (size_t i = 0; i < kShortNames.size(); i += 3) {
            if (kShortNames.substr(i, 3) != word) continue;
            if (i < 21) return {NameKind::Weekday, 0};
            return {NameKind::Month, static_cast<int>((i - 21) / 3)};
        }
    } else if (word.size() > 3 && word.size() <= kMaxNameLength) {
        for (int m = 0; m < 12; ++m)
            if (kMonthNames[m] == word) return {NameKind::Month, m};
    }
    english_error();
}

int read_month_name(Cursor& c) {
    Name n = look_up_name(c.letters());
    if (n.kind != NameKind::Month) english_error();
    return n.month;
}

// [weekday [,]] then day month-name, or month-name day.
void english_day_month(Cursor& c, DateFields& f) {
    bool have_month = false;
    if (is_letter(c.peek())) {
        Name n = look_up_name(c.letters());
        c.skip_blanks();
        if (n.kind == NameKind::Weekday) {
            c.take(',');
            c.skip_blanks();
        } else {
            f.month = n.month;
            have_month = true;
        }
    }
    if (have_month) {
        f.day = number(c, 1, 2, english_error);
    } else if (is_digit(c.peek())) {
        f.day = number(c, 1, 2, english_error);
        c.skip_blanks();
        f.month = read_month_name(c);
    } else {
        f.month = read_month_name(c);
        c.skip_blanks();
        f.day = number(c, 1, 2, english_error);
    }
}

void english_year(Cursor& c, DateFields& f) {
    size_t run = c.digit_run();
    size_t n;
    if (run == 4) f.year = c.digits(4, &n);
    else if ((run == 2 || run == 3) && c.peek(run) == ' ') f.year = 1900 + c.digits(run, &n);
    else english_error();
}

// GMT or UTC with an optional +hh[:]mm or -hh[:]mm: the shift in minutes
// east of UTC.  Returns false when no zone is written.
bool english_zone(Cursor& c, int64_t* east_minutes) {
    if (!is_letter(c.peek())) return false;
    std::string_view word = c.letters();
    if (word != "GMT" && word != "UTC") english_error();
    *east_minutes = 0;
    char sign = c.peek();
    if (sign != '+' && sign != '-') return true;
    c.advance();
    int64_t hours = number(c, 1, 2, english_error);
    c.take(':');
    size_t n;
    int64_t minutes = c.digits(2, &n);
    *east_minutes = (hours * 60 + minutes) * (sign == '-' ? -1 : 1);
    return true;
}

// A comment in brackets after the zone, as the long text form writes one.
void english_comment(Cursor& c) {
    if (!c.take('(')) return;
    while (!c.at_end() && c.peek() != ')' && c.peek() != '(') c.advance();
    if (!c.take(')')) english_error();
}

ParsedDate parse_english(Cursor& c) {
    DateFields f;
    english_day_month(c, f);
    c.skip_blanks();
    c.take(',');
    c.skip_blanks();
    english_year(c, f);
    c.skip_blanks();
    c.take(',');
    c.skip_blanks();
    read_time(c, f, true, english_error);
    unsigned ms = read_fraction(c, english_error);
    c.skip_blanks();
    int64_t east = 0;
    bool zone = english_zone(c, &east);
    c.skip_blanks();
    english_comment(c);
    c.skip_space();
    if (!c.at_end()) english_error();
    check_calendar(f);
    if (!zone) return {local_fields_to_seconds(f), ms, 0};
    return {utc_fields_to_seconds(f) - east * 60, ms, kDateAbsolute};
}

}  // namespace

ParsedDate parse_date_text(std::string_view text) {
    Cursor c(text);
    c.skip_space();
    ParsedDate d = is_digit(c.peek()) && is_digit(c.peek(2)) ? parse_numeric(c) : parse_english(c);
    checked_seconds(d.seconds);
    return d;
}

}  // namespace koru
