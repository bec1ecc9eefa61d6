// Date scripts: construction, Date.parse/UTC, getters, setters and text
// forms, in a zone east of UTC (Tokyo, +09:00, no daylight saving) and one
// west of it (New York, -05:00 / -04:00 in summer).
#include "builtins/date/date.h"
#include "builtins/method_table.h"
#include "interp/fixture.h"
#include "zone.h"

namespace koru::test {
namespace {

// A December date with milliseconds and a January 31st to move around.
constexpr const char* kXmas = "var d = new Date(2023, 11, 25, 10, 30, 15, 123); ";
constexpr const char* kJan31 = "var d = new Date(2023, 0, 31); ";

std::string with(const char* prefix, const char* rest) { return std::string(prefix) + rest; }

void check(std::initializer_list<std::pair<std::string, const char*>> rows) {
    std::vector<std::string> keep;
    std::vector<Case> cases;
    for (const auto& r : rows) keep.push_back(r.first);
    size_t i = 0;
    for (const auto& r : rows) cases.push_back({keep[i++].c_str(), r.second});
    check_cases(cases);
}

void check_codes(std::initializer_list<std::pair<std::string, int>> rows) {
    std::vector<std::string> keep;
    for (const auto& r : rows) keep.push_back(r.first);
    std::vector<ErrorCase> cases;
    size_t i = 0;
    for (const auto& r : rows) cases.push_back({keep[i++].c_str(), r.second});
    check_errors(cases);
}

class DateTokyoTest : public InterpTest {
protected:
    ZoneGuard zone_{kTokyo};
};

class DateNewYorkTest : public InterpTest {
protected:
    ZoneGuard zone_{kNewYork};
};

TEST_F(DateTokyoTest, Construction) {
    check({
        {"r = new Date(2023, 0, 31);", "2023-01-31 00:00:00"},
        {"r = Date(2023, 0, 31, 25);", "2023-02-01 01:00:00"},
        {"r = Date(2023, 12, 1);", "2024-01-01 00:00:00"},
        {"r = Date(99, 0, 1);", "1999-01-01 00:00:00"},
        {"r = Date(2023, 0, 1, 0, 0, 0, 1500);", "2023-01-01 00:00:01.500"},
        {"r = new Date(1700000000000);", "2023-11-15 07:13:20"},
        {"r = new Date(1700000000999.9);", "2023-11-15 07:13:20"},
        {"r = new Date(\"Mon Dec 25 2023 10:30:00 GMT+0900\");", "2023-12-25 10:30:00"},
        {"r = Date(true);", "undefined"},
        {"r = Date([1]);", "undefined"},
        {"r = typeof new Date();", "\"object\""},
        {"r = new Date() instanceof Date;", "true"},
    });
}

TEST_F(DateTokyoTest, StaticFunctions) {
    check({
        {"r = Date.parse(\"2023/12/25T10:30:15.123\");", "1703467815123.0"},
        {"r = Date.parse(\"Mon Dec 25 2023 10:30:00 GMT+0900\") == Date.parse(\"2023-12-25 10:30:00\");", "true"},
        {"r = Date.UTC(2023, 11, 25, 1, 30, 15, 123);", "1703467815123.0"},
        {"r = Date.UTC(2023);", "1672531200000.0"},
        {"r = Date.UTC(70, 0, 1);", "0.0"},
    });
}

TEST_F(DateTokyoTest, Getters) {
    check({
        {with(kXmas, "r = [d.getFullYear(), d.getMonth(), d.getDate(), d.getDay(), d.getHours(), d.getMinutes(), "
                     "d.getSeconds(), d.getMilliseconds()];"),
         "[2023,11,25,1,10,30,15,123]"},
        {with(kXmas, "r = d.getTime();"), "1703467815123.0"},
        {with(kXmas, "r = d.getTimezoneOffset();"), "-540"},
        {with(kXmas, "r = [d.getUTCFullYear(), d.getUTCMonth(), d.getUTCDate(), d.getUTCDay(), d.getUTCHours(), "
                     "d.getUTCMinutes(), d.getUTCSeconds(), d.getUTCMilliseconds()];"),
         "[2023,11,25,1,1,30,15,123]"},
        // before 09:00 in Tokyo it is still the previous day in UTC
        {"var d = new Date(2024, 0, 1, 5); r = [d.getUTCFullYear(), d.getUTCMonth(), d.getUTCDate(), "
         "d.getUTCDay(), d.getUTCHours(), d.getTimezoneOffset()];",
         "[2023,11,31,0,20,-540]"},
    });
}

TEST_F(DateTokyoTest, TextForms) {
    check({
        {with(kXmas, "r = d.toISOString();"), "\"2023-12-25T10:30:15.123Z\""},
        {with(kXmas, "r = d.toJSON();"), "\"2023-12-25T10:30:15.123Z\""},
        {with(kXmas, "r = d.toString();"), "\"Mon Dec 25 2023 10:30:15 GMT+0900 (GMT+09:00)\""},
        {with(kXmas, "r = d.toUTCString();"), "\"Mon, 25 Dec 2023 10:30:15 GMT\""},
        {with(kXmas, "r = d.toDateString();"), "\"Mon Dec 25 2023\""},
        {with(kXmas, "r = d.toTimeString();"), "\"10:30:15 GMT+0900\""},
        {"r = new Date(2023, 0, 5, 7, 5, 3).toDateString();", "\"Thu Jan 05 2023\""},
        // the long form reads back as the same instant
        {with(kXmas, "r = Date.parse(d.toString()) == d.getTime() - d.getMilliseconds();"), "true"},
    });
}

TEST_F(DateTokyoTest, Setters) {
    check({
        {with(kJan31, "r = [d.setMonth(12), d];"), "[1706626800000.0,2024-01-31 00:00:00]"},
        {with(kJan31, "r = [d.setDate(32), d];"), "[1675177200000.0,2023-02-01 00:00:00]"},
        {with(kJan31, "d.setFullYear(2024, 1, 29); r = [d, d.getDay()];"), "[2024-02-29 00:00:00,4]"},
        {with(kJan31, "d.setHours(48, 0, 0, 5); r = d;"), "2023-02-02 00:00:00.005"},
        {with(kJan31, "d.setMinutes(-1); r = d;"), "2023-01-30 23:59:00"},
        {with(kJan31, "r = [d.setSeconds(75, 250), d];"), "[1675090875250.0,2023-01-31 00:01:15.250]"},
        {with(kJan31, "r = [d.setMilliseconds(999), d];"), "[1675090800999.0,2023-01-31 00:00:00.999]"},
        {with(kXmas, "r = [d.setTime(1700000000123), d, d.getMilliseconds()];"),
         "[1700000000000.0,2023-11-15 07:13:20,0]"},
        {with(kXmas, "d.setMonth(1); r = d;"), "2023-02-25 10:30:15.123"},
        {with(kXmas, "d.setHours(9); r = d;"), "2023-12-25 09:30:15.123"},
        // a refused setter leaves the date as it was
        {with(kXmas, "try { d.setHours(1, 2, 3, 1000); } catch (e) {} r = d;"), "2023-12-25 10:30:15.123"},
        {with(kXmas, "try { d.setFullYear(1969); } catch (e) {} r = d;"), "2023-12-25 10:30:15.123"},
    });
}

TEST_F(DateTokyoTest, ConstructionErrors) {
    check_codes({
        {"r = Date(69, 0, 1);", 5505},
        {"r = Date(2023, 0, 0);", 5505},
        {"r = Date(3001, 0, 1);", 5520},
        {"r = Date(2023, -1, 1);", 5520},
        {"r = Date(2023, \"1\");", 5520},
        {"r = Date(2023, 1.5);", 5520},
        {"r = Date(1970, 0, 1, 8, 59, 59);", 5500},  // 1969 in UTC
        {"r = Date(-5000);", 5500},
        {"r = Date(1e300);", 5500},
        {"r = Date(\"2023-12-25\");", 5515},
        {"r = Date(\"Dec 25 2023\");", 5510},
        {"r = Date.parse(5);", 5530},
        {"r = Date.parse();", 2090},
        {"r = Date.now(1);", 2090},
        {"r = Date.UTC();", 2090},
        {"r = Date.UTC(1, 2, 3, 4, 5, 6, 7, 8);", 2093},
        {"r = Date.UTC(1969, 0, 1);", 5505},
        {"r = Date.today();", 2085},
    });
}

TEST_F(DateTokyoTest, MethodErrors) {
    check_codes({
        {with(kXmas, "r = d.getYear();"), 5575},
        {with(kXmas, "r = d.Date();"), 5575},  // a part of a name is no name
        {with(kXmas, "r = d.get();"), 5575},
        {with(kXmas, "r = d.getDate(1);"), 5580},
        {with(kXmas, "r = d.setTime();"), 5580},
        {with(kXmas, "r = d.setMonth();"), 5580},
        {with(kXmas, "r = d.setMonth(1, 2, 3);"), 5585},
        {with(kXmas, "r = d.setHours(1, 2, 3, 4, 5);"), 5585},
        {with(kXmas, "r = d.setFullYear(2023, 1, 2, 3);"), 5585},
        {with(kXmas, "r = d.setFullYear(\"x\");"), 5535},
        {with(kXmas, "r = d.setMonth(1.5);"), 5540},
        {with(kXmas, "r = d.setDate(null);"), 5545},
        {with(kXmas, "r = d.setHours(\"10\");"), 5550},
        {with(kXmas, "r = d.setHours(1, 2, 3, 1000);"), 5550},
        {with(kXmas, "r = d.setMinutes(1, 2, -1);"), 5555},
        {with(kXmas, "r = d.setSeconds(1, 1000);"), 5560},
        {with(kXmas, "r = d.setMilliseconds(1000);"), 5565},
        {with(kXmas, "r = d.setMilliseconds(-1);"), 5565},
        {with(kXmas, "r = d.setTime(\"0\");"), 5570},
        {with(kXmas, "r = d.setTime(-1000);"), 5500},
        {with(kJan31, "r = d.setDate(0);"), 5505},
        {with(kJan31, "r = d.setMonth(-1);"), 5505},
        {with(kJan31, "r = d.setFullYear(1969);"), 5505},
        {with(kJan31, "r = d.setFullYear(2106, 2);"), 5500},
    });
}

TEST_F(DateTokyoTest, MessagesAreTheFixedTexts) {
    struct Row {
        std::string script;
        const char* message;
    };
    const Row rows[] = {
        {with(kXmas, "d.setHours(\"10\");"), "Dateのメソッド setHours 引数不正"},
        {with(kXmas, "d.setTime(\"10\");"), "Dateのメソッド setTime 引数不正"},
        {"Date(69, 0, 1);", "Date関連ステートメント不正(1970/01/01以前の年月日)"},
        {"Date(\"x\");", "Dateで日付・時刻の文字列不正"},
        {"Date(2023, \"1\");", "Dateで日付・時刻の値不正"},
        {with(kXmas, "d.getYear();"), "DATEのメソッド名不正"},
        {with(kXmas, "d.getDay(1);"), "DATEのメソッドで引数不正"},
    };
    for (const Row& r : rows) {
        fresh_process();
        Outcome o = run_script(r.script);
        EXPECT_TRUE(o.error) << r.script;
        EXPECT_EQ(o.message, r.message) << r.script;
    }
}

TEST_F(DateNewYorkTest, OffsetsAreWestAndFollowTheDate) {
    check({
        {"r = new Date(\"2023-12-25 10:30:15\").getTime();", "1703518215000.0"},
        {with(kXmas, "r = d.getTimezoneOffset();"), "300"},
        {"r = new Date(2023, 6, 1, 12).getTimezoneOffset();", "240"},
        {with(kXmas, "r = d.toString();"), "\"Mon Dec 25 2023 10:30:15 GMT-0500 (GMT-05:00)\""},
        {"r = new Date(2023, 6, 1, 12).toTimeString();", "\"12:00:00 GMT-0400\""},
        {"var d = new Date(2023, 11, 25, 22); r = [d.getUTCDate(), d.getUTCHours(), d.getUTCDay()];", "[26,3,2]"},
        {"r = Date.UTC(2023, 11, 25, 1, 30, 15);", "1703467815000.0"},
        {"r = new Date(\"Mon Dec 25 2023 10:30:00 GMT+0900\");", "2023-12-24 20:30:00"},
        {"r = new Date(\"Dec 25 2023 10:30:00 UTC\");", "2023-12-25 05:30:00"},
        {"r = Date(1970, 0, 1);", "1970-01-01 00:00:00"},  // already 05:00 UTC here
        {"r = new Date(0);", "1969-12-31 19:00:00"},
        // the hour stays put when a setter crosses the spring change
        {"var d = new Date(2024, 2, 9, 12); d.setDate(10); r = [d, d.getTimezoneOffset()];",
         "[2024-03-10 12:00:00,240]"},
        {"var d = new Date(2024, 2, 9, 12); r = d.setTime(d.getTime() + 86400000); r = [d, r];",
         "[2024-03-10 13:00:00,1710090000000.0]"},
    });
}

// Slot look-up: a name matches an entry it is the whole of, never one it
// begins or one it runs over; the first such entry wins.
TEST(DateMethodSlots, NamesMatchWholeEntries) {
    constexpr EntryName kNames[] = {{"ab", ""}, {"abc", ""}, {"x", ""}, {"ab", ""}, {"abcde", ""}};
    const std::pair<const char*, int> rows[] = {
        {"ab", 0},   {"abc", 1},  {"x", 2},     {"ab ", -1}, {"abc  ", -1}, {"x    ", -1}, {"abcde", 4},
        {"a", -1},   {"b", -1},   {"bc", -1},   {"", -1},    {"  ", -1},    {"abcdef", -1}, {"abcd", -1},
        {"ab   a", -1}, {"x    ab", -1}, {"abab", -1}, {"xab", -1},
    };
    for (const auto& [name, slot] : rows) EXPECT_EQ(find_entry(kNames, 5, name), slot) << '"' << name << '"';
}

// The slot cache answers as the look-up does, also after the symbol table
// is rebuilt and a symbol number comes to mean another name.
TEST_F(DateTokyoTest, SlotMemoFollowsTheSymbolsName) {
    static constexpr EntryName kNames[] = {{"ab", ""}, {"abc", ""}, {"x", ""}};
    uint32_t n = intern("abc");
    EXPECT_EQ(cached_method_slot(kNames, 3, n), 1);
    EXPECT_EQ(cached_method_slot(kNames, 3, n), 1);
    EXPECT_EQ(cached_method_slot(kNames, 3, intern("ab")), 0);
    const std::pair<const char*, int> later[] = {{"x", 2}, {"zz", -1}, {"ab", 0}, {"abc ", -1}, {"abc", 1}};
    for (const auto& [name, slot] : later) {
        g_symbols.reset();
        symbols_seed();
        ASSERT_EQ(intern(name), n);
        EXPECT_EQ(cached_method_slot(kNames, 3, n), slot) << name;
    }
}

}  // namespace
}  // namespace koru::test
