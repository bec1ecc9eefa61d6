// The date-text parser, the constructor's cell and the clock, called
// directly.
#include <cmath>
#include <ctime>

#include "builtins/date/date.h"
#include "interp/fixture.h"
#include "zone.h"

namespace koru::test {
namespace {

struct ParseCase {
    const char* text;
    int64_t seconds;
    unsigned millis;
    unsigned flags;
};

struct ParseError {
    const char* text;
    int code;
};

class DateParseTest : public InterpTest {
protected:
    ZoneGuard zone_{kTokyo};
};

int error_code_of(std::string_view text) {
    try {
        parse_date_text(text);
    } catch (const Unwind& u) {
        return outcome_of(u.value).code;
    }
    return 0;
}

TEST_F(DateParseTest, AcceptedTexts) {
    const ParseCase cases[] = {
        // numeric form, local time
        {"2023-12-25 10:30:15", 1703467815, 0, 0},
        {"2023/12/25T10:30:15.123", 1703467815, 123, 0},
        {" \t\r\n2023-12-25 10:30:15 \r\n", 1703467815, 0, 0},
        {"20231225 10:30:15", 1703467815, 0, 0},
        {"20231225T10:30:15Z", 1703467815, 0, 0},  // Z does not make it UTC
        {"2023-12-25T10:30:15.5Z", 1703467815, 5, 0},  // digits as written
        {"2023-12-25 10:30:15 .12", 1703467815, 12, 0},
        {"2023-12-25 10:30", 1703467800, 0, 0},
        {"2023-1-5 7:5:3", 1672869903, 0, 0},
        {"123 1225 10:30:15", 1703467815, 0, 0},    // three digits and a blank: from 1900
        {"2023-12-32 00:00:00", 1704034800, 0, 0},  // normalised into January
        {"1970-01-01 09:00:00", 0, 0, 0},           // the first instant a cell holds
        // English form
        {"Mon Dec 25 2023 10:30:00 GMT+0900", 1703467800, 0, 16},
        {"Mon, 25 Dec 2023 10:30:15 GMT", 1703500215, 0, 16},
        {"Dec 25 2023 01:30:15 UTC", 1703467815, 0, 16},
        {"Dec 25 2023 10:30:15 GMT+09:00", 1703467815, 0, 16},
        {"Dec 24 2023 20:30:15 GMT-0500", 1703467815, 0, 16},
        {"Mon Dec 25 2023 10:30:15 GMT+0900 (GMT+09:00)", 1703467815, 0, 16},
        {"December 25, 2023 10:30:15", 1703467815, 0, 0},
        {"25 Dec 2023 10:30:15.123", 1703467815, 123, 0},
        {"Mon, December 25 2023, 10:30", 1703467800, 0, 0},
    };
    for (const ParseCase& c : cases) {
        fresh_process();
        ParsedDate p{};
        try {
            p = parse_date_text(c.text);
        } catch (const Unwind& u) {
            ADD_FAILURE() << c.text << ": error " << outcome_of(u.value).code;
            continue;
        }
        EXPECT_EQ(p.seconds, c.seconds) << c.text;
        EXPECT_EQ(p.millis, c.millis) << c.text;
        EXPECT_EQ(p.flags, c.flags) << c.text;
    }
}

TEST_F(DateParseTest, RefusedTexts) {
    const ParseError cases[] = {
        {"2023-12-25", 5515},                // a time must follow the day
        {"2023-12-25 10:30:15x", 5515},
        {"2023-12/25 10:00", 5515},          // the separators must match
        {"2023-123-1 10:00", 5515},
        {"2023-12-25 10:30:15.1234", 5515},  // at most three fraction digits
        {"2023-12-25 10:30:15Z junk", 5515},
        {"123-12-25 10:00", 5515},           // three year digits need a blank after them
        {"1969-12-31 23:00:00", 5505},
        {"2023-00-10 10:00", 5505},
        {"2023-12-00 10:00", 5505},
        {"1970-01-01 08:59:59", 5500},       // before 1970 in UTC
        {"2106-02-07 15:28:16", 5500},       // past the cell's 32-bit seconds
        {"Dec 25 23 10:30:00", 5505},        // 1923
        {"Dec 25 2023", 5510},
        {"Dec 25 2023 10", 5510},            // minutes are required here
        {"Foo 25 2023 10:00", 5510},
        {"Sept 25 2023 10:00", 5510},
        {"Mon Tue 25 Dec 2023 10:00", 5510},
        {"Dec Mon 25 2023 10:00", 5510},
        {"Dec 25 2023 10:00 EST", 5510},
        {"Dec 25 2023 10:00 GMT junk", 5510},
        {"Dec 25 2023 10:00 GMT (open", 5510},
        {"Dec 0 2023 10:00", 5505},
        {"", 5510},
        {"   ", 5510},
        {"Decemberrrrrrrrrrrrrrrr 25 2023 10:00", 5510},
    };
    for (const ParseError& c : cases) {
        fresh_process();
        EXPECT_EQ(error_code_of(c.text), c.code) << c.text;
    }
}

TEST_F(DateParseTest, TextMayHoldNulAndStopsAtItsLength) {
    std::string text("2023-12-25 10:30:15\0junk", 24);
    EXPECT_EQ(error_code_of(text), 5515);
    EXPECT_EQ(error_code_of(std::string_view(text.data(), 19)), 0);
}

TEST_F(DateParseTest, NumberArgumentIsAbsoluteWithoutMilliseconds) {
    Value arg = make_double(1700000000999.0);
    Value d = date_construct(&arg, 1);
    const DateCell& c = *cell_as<DateCell>(d);
    EXPECT_EQ(c.seconds, 1700000000u);
    EXPECT_EQ(c.millis(), 0u);
    EXPECT_EQ(c.flags(), 16u);
    EXPECT_EQ(c.year, 2023);
    EXPECT_EQ(c.month(), 10u);
    EXPECT_EQ(c.day(), 15u);
    EXPECT_EQ(c.weekday(), 3u);  // Wednesday
    EXPECT_EQ(c.hour, 7);
}

TEST_F(DateParseTest, FieldArgumentsAreLocalWithoutFlags) {
    Value args[] = {make_int(2023), make_int(11), make_int(25), make_int(10), make_int(30), make_int(15),
                    make_int(123)};
    Value d = date_construct(args, 7);
    const DateCell& c = *cell_as<DateCell>(d);
    EXPECT_EQ(c.seconds, 1703467815u);
    EXPECT_EQ(c.millis(), 123u);
    EXPECT_EQ(c.flags(), 0u);
}

TEST_F(DateParseTest, MoreThanSevenArgumentsAreRefused) {
    Value args[8];
    for (Value& v : args) v = make_int(1);
    try {
        date_construct(args, 8);
        ADD_FAILURE() << "eight arguments accepted";
    } catch (const Unwind& u) {
        EXPECT_EQ(outcome_of(u.value).code, 5525);
    }
}

TEST_F(DateParseTest, NoArgumentsReadTheClock) {
    std::time_t before = std::time(nullptr);
    Value d = date_construct(nullptr, 0);
    std::time_t after = std::time(nullptr);
    const DateCell& c = *cell_as<DateCell>(d);
    EXPECT_GE(static_cast<std::time_t>(c.seconds), before);
    EXPECT_LE(static_cast<std::time_t>(c.seconds), after);
    EXPECT_LT(c.millis(), 1000u);
    EXPECT_EQ(c.flags(), 0u);
}

TEST_F(DateParseTest, NowIsWholeSecondsOfTheClock) {
    std::time_t before = std::time(nullptr);
    Outcome o = run_script("r = Date.now();");
    std::time_t after = std::time(nullptr);
    ASSERT_FALSE(o.error) << o.message;
    std::string text = global_text("r");
    double ms = std::stod(text);
    EXPECT_GE(ms, static_cast<double>(before) * 1000);
    EXPECT_LE(ms, static_cast<double>(after) * 1000);
    EXPECT_EQ(std::fmod(ms, 1000.0), 0.0) << text;
}

}  // namespace
}  // namespace koru::test
