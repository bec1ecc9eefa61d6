// Zones of one offset: the reading of zone data and rule texts, and the
// conversions compared with the C library's across the whole range a date
// can hold, in zones of one offset and in zones with daylight saving time.
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "builtins/date/date.h"
#include "interp/fixture.h"
#include "zone.h"

namespace koru::test {
namespace {

// ---- zone data built in the test ------------------------------------------------------

struct ZoneType {
    int32_t utoff;
    bool dst;
};

struct ZoneData {
    char version = '2';
    std::vector<int64_t> times;
    std::vector<uint8_t> indices;
    std::vector<ZoneType> types = {{0, false}};
    std::string rule = "UTC0";
    uint32_t leaps = 0;
};

void put32(std::string& s, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) s.push_back(static_cast<char>(v >> shift & 0xFF));
}

void put64(std::string& s, int64_t v) {
    put32(s, static_cast<uint32_t>(static_cast<uint64_t>(v) >> 32));
    put32(s, static_cast<uint32_t>(v));
}

void put_block(std::string& s, const ZoneData& z, bool wide) {
    s += "TZif";
    s.push_back(z.version);
    s.append(15, '\0');
    for (uint32_t count : {0u, 0u, z.leaps, static_cast<uint32_t>(z.times.size()),
                           static_cast<uint32_t>(z.types.size()), 4u})
        put32(s, count);
    for (int64_t t : z.times) wide ? put64(s, t) : put32(s, static_cast<uint32_t>(static_cast<int32_t>(t)));
    for (uint8_t i : z.indices) s.push_back(static_cast<char>(i));
    for (const ZoneType& t : z.types) {
        put32(s, static_cast<uint32_t>(t.utoff));
        s.push_back(t.dst ? 1 : 0);
        s.push_back(0);
    }
    s.append("ABC", 4);
    for (uint32_t i = 0; i < z.leaps; ++i) {
        wide ? put64(s, 78796800) : put32(s, 78796800);
        put32(s, 1);
    }
}

std::string tzif(const ZoneData& z) {
    std::string s;
    put_block(s, z, false);
    if (z.version >= '2') {
        put_block(s, z, true);
        s += "\n" + z.rule + "\n";
    }
    return s;
}

struct DataCase {
    const char* what;
    ZoneData zone;
    bool fixed;
    long east;
};

TEST(DateZone, ZoneData) {
    const int64_t k1951 = -592869600, k1970 = 0, k2023 = 1678604400;
    const DataCase cases[] = {
        {"no transitions", {}, true, 0},
        {"no transitions, first standard type", {'2', {}, {}, {{3600, true}, {19800, false}}, "IST-5:30"}, true, 19800},
        {"no transitions, rule of another offset", {'2', {}, {}, {{0, false}}, "JST-9"}, false, 0},
        {"no transitions, rule with daylight time", {'2', {}, {}, {{0, false}}, "GMT0BST,M3.5.0/1,M10.5.0"}, false, 0},
        {"no transitions, no rule", {'2', {}, {}, {{-18000, false}}, ""}, true, -18000},
        {"last transition before 1970, rule", {'2', {k1951}, {0}, {{36000, true}, {32400, false}}, "JST-9"}, true, 32400},
        {"last transition at 1970", {'2', {k1951, k1970}, {0, 1}, {{36000, true}, {32400, false}}, "JST-9"}, true, 32400},
        {"last transition before 1970, no rule", {'2', {k1951}, {1}, {{0, false}, {20700, false}}, ""}, true, 20700},
        {"version 1, no rule", {'\0', {k1951}, {1}, {{0, false}, {-10800, false}}, ""}, true, -10800},
        {"transition after 1970", {'2', {k1951, k2023}, {0, 1}, {{32400, false}, {32400, false}}, "JST-9"}, false, 0},
        {"rule with daylight time", {'2', {k1951}, {0}, {{-18000, false}}, "EST5EDT,M3.2.0,M11.1.0"}, false, 0},
        {"leap seconds", {'2', {}, {}, {{0, false}}, "UTC0", 1}, false, 0},
        {"type index out of range", {'2', {k1951}, {3}, {{0, false}}, "UTC0"}, false, 0},
        {"no types", {'2', {}, {}, {}, "UTC0"}, false, 0},
        {"transitions out of order", {'2', {k1970, k1951}, {0, 0}, {{0, false}}, "UTC0"}, false, 0},
    };
    for (const DataCase& c : cases) {
        long east = 12345;
        bool fixed = tzif_fixed_offset(tzif(c.zone), &east);
        EXPECT_EQ(fixed, c.fixed) << c.what;
        if (fixed && c.fixed) {
            EXPECT_EQ(east, c.east) << c.what;
        }
    }
}

TEST(DateZone, DamagedZoneData) {
    std::string good = tzif({'2', {-592869600}, {1}, {{36000, true}, {32400, false}}, "JST-9"});
    long east;
    ASSERT_TRUE(tzif_fixed_offset(good, &east));
    // Every cut short of the end of the rule is refused, as is a bad magic
    // number or a rule without its closing newline.
    for (size_t n = 0; n < good.size(); ++n) EXPECT_FALSE(tzif_fixed_offset(good.substr(0, n), &east)) << n;
    std::string bad = good;
    bad[0] = 'X';
    EXPECT_FALSE(tzif_fixed_offset(bad, &east));
    bad = good;
    bad[good.size() - 1] = '0';
    EXPECT_FALSE(tzif_fixed_offset(bad, &east));
    // Counts that point far past the data.
    bad = good;
    bad[32] = '\x7F';
    EXPECT_FALSE(tzif_fixed_offset(bad, &east));
}

struct RuleCase {
    const char* text;
    bool fixed;
    long east;
};

TEST(DateZone, RuleTexts) {
    const RuleCase cases[] = {
        {"UTC0", true, 0},          {"JST-9", true, 32400},       {"EST5", true, -18000},
        {"<+0545>-5:45", true, 20700}, {"<-03>3", true, -10800},  {"XYZ+1:30:15", true, -5415},
        {"ABC-24", true, 86400},    {"EST5EDT", false, 0},        {"EST5EDT,M3.2.0,M11.1.0", false, 0},
        {"JST", false, 0},          {"UT0", false, 0},            {"JST-9:5", false, 0},
        {"JST-25", false, 0},       {"JST-9:60", false, 0},       {"<AB>1", false, 0},
        {"<ABC1", false, 0},        {"", false, 0},               {"JST-123", false, 0},
        {"JST-", false, 0},         {"JST 9", false, 0},
    };
    for (const RuleCase& c : cases) {
        long east = 12345;
        bool fixed = posix_zone_fixed_offset(c.text, &east);
        EXPECT_EQ(fixed, c.fixed) << c.text;
        if (fixed && c.fixed) {
            EXPECT_EQ(east, c.east) << c.text;
        }
    }
}

// ---- the conversions against the C library ---------------------------------------------

struct ZoneCase {
    const char* tz;
    bool fixed;  // expected verdict
};

const ZoneCase kZones[] = {
    {"UTC", true},
    {"Asia/Tokyo", true},         // daylight time only before 1952
    {"Asia/Kolkata", true},       // +05:30 since 1945
    {"JST-9", true},              // a rule text, no zone file of that name
    {"<+0545>-5:45", true},
    {"America/New_York", false},
    {"Europe/London", false},
    {"Australia/Lord_Howe", false},  // half-hour daylight time
    {"Europe/Moscow", false},        // standard offset changed after 1970
    {"right/UTC", false},            // leap seconds
    {"EST5EDT,M3.2.0,M11.1.0", false},
};

std::tm library_local(int64_t s) {
    std::time_t t = static_cast<std::time_t>(s);
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

std::string fields_text(const std::tm& t) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "%d-%d-%d %d:%d:%d wday %d off %ld", t.tm_year, t.tm_mon, t.tm_mday, t.tm_hour,
                  t.tm_min, t.tm_sec, t.tm_wday, static_cast<long>(t.tm_gmtoff));
    return buf;
}

// The instants to compare: a week apart with an odd remainder across the
// whole range, the range's ends, and the hours around the changes of the
// daylight-time zones above.
std::vector<int64_t> instants() {
    std::vector<int64_t> out;
    for (int64_t s = 0; s <= static_cast<int64_t>(UINT32_MAX); s += 7 * 86400 + 3671) out.push_back(s);
    out.push_back(UINT32_MAX);
    for (int64_t change : {1678604400LL, 1699164000LL, 1679792400LL, 1698541200LL, 1680364800LL, 1696089600LL,
                           1301180400LL, 1414274400LL, 2147483647LL, 2147483648LL})
        for (int64_t d = -7200; d <= 7200; d += 900) out.push_back(change + d);
    return out;
}

TEST(DateZone, ConversionsMatchTheLibrary) {
    const std::vector<int64_t> all = instants();
    for (const ZoneCase& z : kZones) {
        ZoneGuard guard(z.tz);
        long east;
        EXPECT_EQ(fixed_zone_offset(&east), z.fixed) << z.tz;
        for (int64_t s : all) {
            std::tm lib = library_local(s);
            std::tm own = local_tm(static_cast<uint32_t>(s));
            ASSERT_EQ(fields_text(own), fields_text(lib)) << z.tz << " at " << s;
            ASSERT_EQ(local_offset_minutes(static_cast<uint32_t>(s)), static_cast<int>(lib.tm_gmtoff / 60))
                << z.tz << " at " << s;
            // The local fields back to the instant, with the local time the
            // conversion hands back, against mktime on the same fields.
            DateFields f{lib.tm_year + 1900LL, lib.tm_mon, lib.tm_mday, lib.tm_hour, lib.tm_min, lib.tm_sec};
            std::tm back{};
            int64_t seconds = local_fields_to_seconds(f, &back);
            std::tm m = lib;
            m.tm_isdst = -1;
            int64_t expected = static_cast<int64_t>(std::mktime(&m));
            ASSERT_EQ(seconds, expected) << z.tz << " at " << s;
            ASSERT_EQ(fields_text(back), fields_text(m)) << z.tz << " at " << s;
        }
    }
}

// Fields that need normalising, and local times that fall in a daylight-time
// gap or twice in an overlap.
TEST(DateZone, NormalisedFieldsMatchTheLibrary) {
    const DateFields rows[] = {
        {2023, 2, 12, 2, 30, 0},  {2023, 10, 5, 1, 30, 0},   {2023, 9, 1, 1, 30, 0},    {2023, 2, 26, 1, 30, 0},
        {2023, 12, 1, 0, 0, 0},   {2023, 0, 32, 0, 0, 0},    {2023, 0, 1, -1, 0, 0},    {2024, 1, 29, 24, 60, 60},
        {2023, 0, -400, 0, 0, 0}, {1970, 0, 1, 0, 0, 0},     {1970, 0, 1, 12, 0, 0},    {2106, 1, 7, 6, 28, 15},
        {2106, 1, 7, 6, 28, 16},  {2000, 1000, 1, 0, 0, 0},  {1999, 0, 1, 0, 0, -1},    {2038, 0, 19, 3, 14, 8},
    };
    for (const ZoneCase& z : kZones) {
        ZoneGuard guard(z.tz);
        for (const DateFields& f : rows) {
            std::tm back{};
            int64_t seconds = local_fields_to_seconds(f, &back);
            std::tm m{};
            m.tm_year = static_cast<int>(f.year - 1900);
            m.tm_mon = static_cast<int>(f.month);
            m.tm_mday = static_cast<int>(f.day);
            m.tm_hour = static_cast<int>(f.hour);
            m.tm_min = static_cast<int>(f.minute);
            m.tm_sec = static_cast<int>(f.second);
            m.tm_isdst = -1;
            int64_t expected = static_cast<int64_t>(std::mktime(&m));
            EXPECT_EQ(seconds, expected) << z.tz << " " << f.year << "/" << f.month << "/" << f.day << " " << f.hour;
            if (seconds >= 0 && seconds <= static_cast<int64_t>(UINT32_MAX)) {
                EXPECT_EQ(fields_text(back), fields_text(m)) << z.tz << " " << f.year << "/" << f.month;
            }
        }
    }
}

// A new TZ is taken up at the next conversion, tzset or not.
TEST(DateZone, ChangedZoneIsSeen) {
    ZoneGuard guard("UTC");
    EXPECT_EQ(local_offset_minutes(1700000000), 0);
    setenv("TZ", "Asia/Tokyo", 1);
    EXPECT_EQ(local_offset_minutes(1700000000), 540);
    EXPECT_EQ(local_tm(1700000000).tm_hour, 7);
    setenv("TZ", "America/New_York", 1);
    EXPECT_EQ(local_offset_minutes(1700000000), -300);
    EXPECT_EQ(local_offset_minutes(1690000000), -240);
    setenv("TZ", "JST-9", 1);
    EXPECT_EQ(local_tm(1700000000).tm_hour, 7);
}

}  // namespace
}  // namespace koru::test
