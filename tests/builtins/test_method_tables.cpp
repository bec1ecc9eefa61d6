// The method tables of every family: which entry each whole name and each
// proper prefix of an entry's names reaches, and how names that are not
// whole entries fail through the interpreter.
#include <set>
#include <string>
#include <vector>

#include "builtins/messages.h"
#include "builtins/method_table.h"

namespace koru::test {
namespace {

// One line per name of an entry (its name, then its alias): "name=slot",
// then every proper prefix of the name that reaches an entry, as
// "prefix=slot".  A prefix missing from the line reaches nothing.
std::vector<std::string> reach_lines(const MethodListing& l) {
    std::vector<std::string> lines;
    for (size_t i = 0; i < l.count; ++i) {
        for (std::string_view name : {l.entries[i].name, l.entries[i].alias}) {
            if (name.empty()) continue;
            // Appended piece by piece: GCC 12's -O3 sees a false overlap in
            // " " + std::string(...).
            std::string line(name);
            line.append("=").append(std::to_string(find_entry(l.entries, l.count, name)));
            for (size_t len = 1; len < name.size(); ++len) {
                std::string_view prefix = name.substr(0, len);
                int slot = find_entry(l.entries, l.count, prefix);
                if (slot == kNoMethod) continue;
                line.append(" ").append(prefix).append("=").append(std::to_string(slot));
            }
            lines.push_back(line);
        }
    }
    return lines;
}

struct FamilyReach {
    MethodListing listing;
    std::vector<std::string> expected;
};

TEST(MethodTables, WholeNamesAndPrefixesReach) {
    const FamilyReach families[] = {
        {array_method_listing(),
         {"concat=0", "keys=1", "reverse=2", "indexOf=3", "lastIndexOf=4", "join=5", "pop=6", "push=7", "slice=8",
          "toString=9", "shift=10", "unshift=11", "copyWithin=12", "fill=13", "includes=14", "sort=15",
          "splice=16"}},
        {string_method_listing(),
         {"charAt=0",         "charCodeAt=1",
          "concat=2",         "indexOf=3",
          "lastIndexOf=4",    "toUpperCase=5",
          "toLowerCase=6",    "substr=7",
          "substring=8 substr=7",
          "split=9",          "slice=10",
          "replace=11",       "replaceAll=12 replace=11",
          "includes=13",      "localeCompare=14",
          "padEnd=15",        "padStart=16",
          "repeat=17",        "startsWith=18",
          "trim=19",          "trimStart=20 trim=19",
          "trimEnd=21 trim=19",
          "endsWith=22",      "search=23",
          "str_match=24",     "match=24",
          "str_matchAll=25 str_match=24",
          "matchAll=25 match=24",
          "trimLeft=26 trim=19",
          "trimRight=27 trim=19"}},
        {math_method_listing(),
         {"abs=0", "ceil=1", "floor=2", "trunc=3", "round=4", "random=5", "pow=6", "min=7", "max=8"}},
        {number_method_listing(), {"parseInt=0", "parseFloat=1", "isInteger=2"}},
        {hash_method_listing(),
         {"keys=0", "toString=1", "clear=2", "delete=3", "get=4", "has=5", "set=6", "forEach=7"}},
        {regexp_method_listing(), {"exec=0", "test=1", "toString=2"}},
        {date_method_listing(),
         {"getDate=0",           "getDay=1",         "getFullYear=2",         "getHours=3",
          "getMilliseconds=4",   "getMinutes=5",     "getMonth=6",            "getSeconds=7",
          "getTime=8",           "getTimezoneOffset=9 getTime=8",             "setDate=10",
          "setFullYear=11",      "setHours=12",      "setMilliseconds=13",    "setMinutes=14",
          "setMonth=15",         "setSeconds=16",    "setTime=17",            "getUTCDate=18",
          "getUTCDay=19",        "getUTCFullYear=20", "getUTCHours=21",       "getUTCMilliseconds=22",
          "getUTCMinutes=23",    "getUTCMonth=24",   "getUTCSeconds=25",      "toDateString=33",
          "toISOString=34",      "toString=35",      "toTimeString=36",       "toJSON=37",
          "toUTCString=38"}},
        {date_static_method_listing(), {"now=0", "parse=1", "UTC=2"}},
        {console_method_listing(), {"log=0", "error=1"}},
        {object_method_listing(), {"keys=0"}},
        {string_static_method_listing(), {"fromCharCode=0", "fromCodePoint=1"}},
    };
    for (const FamilyReach& f : families) EXPECT_EQ(reach_lines(f.listing), f.expected) << f.listing.family;
}

// Names made from entries that are no entry themselves: an inner part or
// an end of a name, a name with a blank beside it, two neighbouring names
// run together, and the end of one name with the start of the next.
TEST(MethodTables, NamesThatAreNoWholeEntryReachNothing) {
    const MethodListing families[] = {
        array_method_listing(),  string_method_listing(), math_method_listing(),
        number_method_listing(), hash_method_listing(),   regexp_method_listing(),
        date_method_listing(),   date_static_method_listing(), console_method_listing(),
        object_method_listing(), string_static_method_listing(),
    };
    for (const MethodListing& l : families) {
        std::set<std::string> whole;
        for (size_t i = 0; i < l.count; ++i) {
            whole.insert(std::string(l.entries[i].name));
            whole.insert(std::string(l.entries[i].alias));
        }
        std::vector<std::string> tries;
        for (size_t i = 0; i < l.count; ++i) {
            std::string name(l.entries[i].name);
            if (name.empty()) continue;
            for (size_t at = 1; at < name.size(); ++at) tries.push_back(name.substr(at));
            if (name.size() > 2) tries.push_back(name.substr(1, name.size() - 2));
            tries.push_back(name + " ");
            tries.push_back(" " + name);
            if (i + 1 < l.count) {
                std::string next(l.entries[i + 1].name);
                tries.push_back(name + next);
                tries.push_back(name.substr(name.size() / 2) + next.substr(0, 1));
            }
        }
        size_t tried = 0;
        for (const std::string& t : tries) {
            if (whole.count(t)) continue;  // "match" ends "str_match" and is a name itself
            ++tried;
            EXPECT_EQ(find_entry(l.entries, l.count, t), kNoMethod) << l.family << ": \"" << t << '"';
        }
        EXPECT_GT(tried, 0u) << l.family;
    }
}

// Through the interpreter a part of a name is an unknown name of the
// family, with the family's code and message; a whole name still runs.
TEST_F(InterpTest, PartsOfNamesRaiseTheFamilysMethodNameError) {
    check_messages({
        {"var r = 'abc'.at('Z');", 2820, "Stringのメソッド名不正"},  // inside concat
        {"var r = [1, 2].ind(2);", 2570, "Arrayのメソッド名不正"},  // the start of indexOf
        {"var r = 'abc'.Upper();", 2820, "Stringのメソッド名不正"},
        {"var a = []; a[3] = 1; var r = a.pu(2);", 2552, "Arrayのメソッド名不正"},
        {"var r = Math.ma(1, 2);", 2115, "Mathのメソッド名不正"},
        {"var r = Number.parse('1');", 2125, "NUMBERのメソッド名不正"},
        {"var r = Object.key({});", 2100, "OBJECTのメソッド名不正"},
        {"var r = String.fromChar(65);", 2095, "STRINGのメソッド名不正"},
        {"var r = Date.no();", 2085, "DATEのメソッド名不正"},
        {"var r = new Date(2024, 0, 1).getFull();", 5575, "DATEのメソッド名不正"},
        {"var r = /a/.tes('a');", 5070, "正規表現のメソッド名不正"},
        {"var h = {a: 1}; var r = h.ge('a');", 2347, "HASHのメソッド名不正"},
        {"var h = {a: 1}; var r = h.Stringclear();", 2347, "HASHのメソッド名不正"},  // over two slots
        {"var h = {a: 1}; var r = h.toStringclear();", 2347, "HASHのメソッド名不正"},
        {"console.lo('x');", 2140, "メソッド名不正"},
    });
    check_cases({
        {"var r = 'abc'.concat('Z');", "\"abcZ\""},
        {"var r = [1, 2].indexOf(2);", "1"},
        {"var a = []; a[3] = 1; a.push(2); var r = a.length;", "2"},  // a keyed array counts its entries
        {"var h = {a: 1}; var r = h.toString();", "\"{a:1}\""},
        {"var h = {a: 1}; h.clear(); var r = h.length;", "0"},
    });
}

}  // namespace
}  // namespace koru::test
