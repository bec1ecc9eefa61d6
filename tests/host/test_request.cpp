// The request body records: every field form, temporaries, modules, errors.
#include <gtest/gtest.h>

#include <string>

#include "host/modules.h"
#include "host/request.h"
#include "interp/globals.h"
#include "runtime/objects.h"
#include "runtime/symbols.h"
#include "runtime/text.h"
#include "support/fresh.h"

namespace koru {
namespace {

using testing::expect_raise;

class Request : public testing::Fresh {
protected:
    void SetUp() override {
        Fresh::SetUp();
        g_request.reset();
    }
    static void parse(const std::string& body) { parse_request_body(body.data(), body.size()); }
    static Value global(const char* name) {
        int64_t i = global_find(intern(name));
        return i < 0 ? Value(0xFFFFFFFF) : g_globals.slots[i].value;
    }
    static std::string shown(const char* name) {
        Value v = global(name);
        if (v.bits == 0xFFFFFFFF) return "(unbound)";
        std::string s;
        write_display(v, s, true);
        return s;
    }
    static std::string code_of(const std::string& body) {
        return expect_raise([&] { parse(body); }).code;
    }
};

// Field builders: '0'+k and the k digits of n; a plain text; a record with
// its entries' byte size announced.
std::string num(size_t n) {
    std::string d = std::to_string(n);
    return std::string(1, static_cast<char>('0' + d.size())) + d;
}
std::string rec(char letter, size_t n, const std::string& entries) {
    return std::string(1, letter) + num(n) + num(entries.size()) + entries;
}

// What a request may name as a module: relative paths of plain segments.
TEST(ModulePath, PlainSegmentsOnly) {
    const struct {
        std::string path;
        bool plain;
    } cases[] = {
        {"a.js", true}, {"sub/b.jo", true}, {"a..b.js", true}, {".hidden.js", true}, {"x/...js", true},
        {"", false}, {"/etc/a.js", false}, {"../a.js", false}, {"sub/../../a.js", false}, {"./a.js", false},
        {"sub/./a.js", false}, {"sub//a.js", false}, {"sub/", false}, {"a\\b.js", false},
        {std::string("a.js\0.js", 8), false}, {"..", false},
    };
    for (const auto& c : cases) EXPECT_EQ(module_path_is_plain(c.path), c.plain) << c.path;
}

TEST_F(Request, StringRecordBindsAndLengthIsExact) {
    parse("S" "11" "18" "11x" "13abc");
    EXPECT_EQ(shown("x"), "\"abc\"");
    // The next record starts right after the announced entries.
    parse("S" "11" "18" "11y" "13def" "S1117" "11z" "12gh");
    EXPECT_EQ(shown("y"), "\"def\"");
    EXPECT_EQ(shown("z"), "\"gh\"");
}

TEST_F(Request, EncodedTextsAndNames) {
    parse(rec('S', 1, "11s" "B9%E3%81%82") + rec('S', 1, "B4%61b" "B6%4A%4b"));
    EXPECT_EQ(shown("s"), "\"\xE3\x81\x82\"");
    EXPECT_EQ(shown("ab"), "\"JK\"");
    // A bad escape in a value keeps the "%"; in a name it is an error.
    parse(rec('S', 1, "11v" "B3%zz"));
    EXPECT_EQ(shown("v"), "\"%zz\"");
    EXPECT_EQ(code_of(rec('S', 1, "B3%zz" "11v")), "1510");
}

TEST_F(Request, IntegerAndFloatRecords) {
    parse(rec('I', 3, "11a" "242" "11b" "3-42" "11c" "2+7"));
    EXPECT_EQ(shown("a"), "42");
    EXPECT_EQ(shown("b"), "-42");
    EXPECT_EQ(shown("c"), "7");
    parse(rec('D', 1, "11d" "132.5"));
    EXPECT_EQ(shown("d"), "2.5");
    EXPECT_EQ(code_of(rec('D', 1, "11d" "122x")), "1700");
    EXPECT_EQ(code_of(rec('I', 1, "11a" "2x1")), "1555");
    EXPECT_EQ(code_of(rec('I', 1, "11a" ";1")), "1550");
}

TEST_F(Request, ArraysHashesKeyedArraysAndValueFields) {
    // v = [42, "s", 2.5]; h = {k: 3}; m = [7:"x", n:1]
    parse(rec('A', 1, "A" "13" "11v" "P42" "11s" "b32.5") + rec('A', 1, "H" "11" "11h" "11k" "O3") +
          rec('A', 1, "I" "12" "11m" "O7" "11x" "11n" "O1"));
    EXPECT_EQ(shown("v"), "[42,\"s\",2.5]");
    EXPECT_EQ(shown("h"), "{'k':3}");
    EXPECT_EQ(shown("m"), "[7:\"x\",n:1]");
    Value v = global("v");
    EXPECT_EQ(cell_as<ArrayCell>(v)->capacity, 13u);
    EXPECT_EQ(cell_as<HashCell>(global("h"))->capacity, 11u);
}

TEST_F(Request, TemporariesAreTakenOnceAndOnlyWithinTheirRecord) {
    const std::string temp = "a" "11" "18^A000001" "O5";
    parse(rec('A', 2, temp + "A" "11" "11t" "18^A000001"));
    EXPECT_EQ(shown("t"), "[[5]]");
    // A second reference finds the temporary gone.
    EXPECT_EQ(code_of(rec('A', 3, temp + "A11" "11t" "18^A000001" "A11" "11u" "18^A000001")), "1575");
    // A temporary of an earlier record is not visible.
    EXPECT_EQ(code_of(rec('A', 1, temp) + rec('A', 1, "A" "11" "11t" "18^A000001")), "1575");
    EXPECT_EQ(code_of(rec('A', 1, "a" "11" "18^A000000" "O5")), "1705");
    EXPECT_EQ(code_of(rec('A', 1, "a" "11" "18^X000001" "O5")), "1705");
    // The most recent temporary of a number is taken first.
    parse(rec('A', 3, temp + "a" "11" "18^H000001" "O6" "A" "12" "11w" "18^A000001" "18^A000001"));
    EXPECT_EQ(shown("w"), "[[6],[5]]");
}

TEST_F(Request, TooManyTemporaries) {
    std::string entries;
    for (int i = 1; i <= 1025; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "18^H%06d", i);
        entries += std::string("h10") + name;
    }
    EXPECT_EQ(code_of(rec('A', 1025, entries)), "1710");
    // 1024 of them fit.
    entries.resize(entries.size() - 11);
    parse(rec('A', 1024, entries));
}

TEST_F(Request, ModuleRecords) {
    parse(rec('M', 2, "18lib/a.JO" "14b.js"));
    ASSERT_EQ(g_modules.size(), 2u);
    EXPECT_EQ(g_modules.entries[0].path, "lib/a.JO");
    EXPECT_EQ(g_modules.entries[0].kind, ModuleKind::Object);
    EXPECT_EQ(g_modules.entries[1].kind, ModuleKind::Source);
    auto r = expect_raise([] { parse(rec('M', 1, "15a.txt")); });
    EXPECT_EQ(r.code, "1170");
    EXPECT_NE(r.message.find("モジュール名不正 'a.txt'"), std::string::npos);
    EXPECT_EQ(code_of(rec('M', 1, "14a.jx")), "1175");
    EXPECT_EQ(code_of(rec('M', 1, "16a.b/cd")), "1170");  // the dot must follow the last "/"
}

TEST_F(Request, ModuleTableLimit) {
    for (int i = 0; i < 127; ++i) module_add("m.js", ModuleKind::Source);
    EXPECT_EQ(code_of(rec('M', 1, "14a.js")), "1735");
}

TEST_F(Request, TopTokenJournalAndOtherRecords) {
    static std::string journal_name;
    g_hooks.journal_name = [](const std::string& n) { journal_name = n; };
    parse("\n" "P14main" "Q" "13key" "15token" "l17app.log" "L" "T3123" "E13abc");
    g_hooks.journal_name = nullptr;
    EXPECT_TRUE(g_request.top_given);
    EXPECT_EQ(g_request.top_text, "main");
    EXPECT_EQ(g_request.token_key, "key");
    EXPECT_EQ(g_request.token_text, "token");
    EXPECT_TRUE(g_request.read_from_disk);
    EXPECT_EQ(journal_name, "app.log");
    std::string long_top = "P3256" + std::string(256, 'f');
    EXPECT_EQ(code_of(long_top), "1740");
    EXPECT_EQ(code_of("E3256" + std::string(256, 'f')), "1745");
    parse("P3255" + std::string(255, 'f'));
    EXPECT_EQ(g_request.top_text.size(), 255u);
}

TEST_F(Request, ErrorsOfEachField) {
    struct { const char* body; const char* code; } cases[] = {
        {"Z", "1750"},
        {"S>", "1500"},
        {"S1x", "1505"},
        {"S11K", "1540"},
        {"S111x", "1545"},
        {"S1118" "N", "1520"},
        {"S1118" "1x", "1525"},
        {"S1118" "11x" "N", "1530"},
        {"S1118" "11x" "2a", "1535"},
        {"A1118" "A11" "11v" "p", "1560"},
        {"A1118" "A11" "11v" "Px", "1565"},
        {"A1118" "A11" "11v" "b21x", "1570"},
        {"S1118" "11x" "19abc", "1535"},   // text longer than the body
        {"S9999999999" "18", "1505"},      // more entries than bytes
        {"A1118" "A9999999999", "1505"},
    };
    for (auto& c : cases) EXPECT_EQ(code_of(c.body), c.code) << c.body;
}

TEST_F(Request, VariableRecordsLoadModulesFirstAndOnce) {
    static int loads;
    loads = 0;
    g_hooks.load_modules = [] {
        ++loads;
        g_modules.loaded = true;
    };
    parse(rec('M', 1, "14a.js") + "P14main");
    EXPECT_EQ(loads, 0);
    parse(rec('S', 1, "11x" "13abc") + rec('I', 1, "11a" "11"));
    g_hooks.load_modules = nullptr;
    EXPECT_EQ(loads, 1);
}

TEST_F(Request, RebindingReplacesAndEmptyBodyEndsAtOnce) {
    parse(rec('S', 1, "11x" "13abc") + rec('I', 1, "11x" "11"));
    EXPECT_EQ(shown("x"), "1");
    size_t before = g_globals.slots.size();
    parse("");
    EXPECT_EQ(g_globals.slots.size(), before);
}

}  // namespace
}  // namespace koru
