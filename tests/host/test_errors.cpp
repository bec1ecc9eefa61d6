// The error routines: report formats, the error object, routing and cuts.
#include <gtest/gtest.h>

#include <string>

#include "host/errors.h"
#include "host/journal.h"
#include "host/modules.h"
#include "interp/jumps.h"
#include "runtime/area.h"
#include "support/fresh.h"

namespace koru {
namespace {

using testing::expect_raise;

class Errors : public testing::Fresh {
protected:
    void SetUp() override {
        Fresh::SetUp();
        g_hooks.module_path = module_path;
        module_add("app/main.js", ModuleKind::Source);
    }
    void TearDown() override {
        g_hooks.module_path = nullptr;
        Fresh::TearDown();
    }
};

TEST_F(Errors, RuntimeReportNamesModuleLineAndColumn) {
    g_errors.module = 1;
    g_errors.position = (7u << 16) | 12u;
    auto r = expect_raise([] { raise_runtime(2330, "ゼロ除算 %d", 5); });
    EXPECT_EQ(r.code, "2330");
    EXPECT_EQ(r.message, "EVAL ERROR 2330 (app/main.js:12:7) : ゼロ除算 5");
    EXPECT_EQ(journal_buffer(), r.message + "\n");
}

TEST_F(Errors, ParseReportNamesTheCompilersLine) {
    g_errors.compile_path = "lib/x.js";
    g_errors.compile_line = 40;
    auto r = expect_raise([] { raise_parse(1580, "コメント不正"); });
    EXPECT_EQ(r.message, "PARSE ERROR 1580 (lib/x.js:40) : コメント不正");
    EXPECT_EQ(r.code, "1580");
}

TEST_F(Errors, NoModuleGivesAnEmptyPath) {
    auto r = expect_raise([] { raise_runtime(1750, "x"); });
    EXPECT_EQ(r.message, "EVAL ERROR 1750 (:0:0) : x");
}

TEST_F(Errors, ErrorObjectLayout) {
    Value err = make_error_object(CodeType::Integer, "1400", 4, "msg", 3);
    auto* p = static_cast<const uint8_t*>(area_ptr(err.area_addr()));
    EXPECT_EQ(p[0], 6);        // header: type 6, count 0
    EXPECT_EQ(p[1], 0);        // integer code
    EXPECT_EQ(p[2] | p[3] << 8, 3);
    EXPECT_EQ(p[4] | p[5] << 8, 4);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p + 6)), "1400");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p + 8 + 4)), "msg");
}

TEST_F(Errors, ReportIsCutButCodeIsNot) {
    g_errors.module = 1;
    std::string huge(20000, 'x');
    auto r = expect_raise([&] { raise_runtime(123456789, "%s", huge.c_str()); });
    EXPECT_EQ(r.code, "123456789");
    EXPECT_EQ(r.message.size(), kReportMax);
    EXPECT_EQ(r.message.rfind("EVAL ERROR 123456789 (app/main.js:0:0) : xxx", 0), 0u);
}

TEST_F(Errors, RoutingByTheTopRunningFlag) {
    uint32_t loop = g_jumps.push(JumpType::Loop);
    uint32_t try1 = g_jumps.push(JumpType::Try);
    g_jumps.push(JumpType::Call);
    (void)loop;
    // Before the TOP call every runtime error goes to the host entry.
    EXPECT_EQ(expect_raise([] { raise_runtime(1, "a"); }).target, 0u);
    EXPECT_FALSE(g_errors.raised_by_error);
    // During the TOP call it goes to the innermost try.
    g_errors.top_running = true;
    EXPECT_EQ(expect_raise([] { raise_runtime(1, "a"); }).target, try1);
    EXPECT_TRUE(g_errors.raised_by_error);
    // A parse error never goes to a try.
    EXPECT_EQ(expect_raise([] { raise_parse(1, "a"); }).target, 0u);
    // The debugger's evaluation takes everything while it runs.
    g_errors.debug_eval = true;
    EXPECT_EQ(expect_raise([] { raise_runtime(1, "a"); }).target, kDebugEvalTarget);
}

TEST_F(Errors, DebugPrintSeesEveryReport) {
    static std::string printed;
    printed.clear();
    g_hooks.debug_print = [](const char* t, size_t n) { printed.assign(t, n); };
    expect_raise([] { raise_runtime(5, "shown"); });
    g_hooks.debug_print = nullptr;
    EXPECT_EQ(printed, "EVAL ERROR 5 (:0:0) : shown");
}

// With every compile-area page full, the error object has no block where
// blocks usually come from: each report still arrives whole, once, and the
// one that tells of the overflow is the overflow's own.
TEST_F(Errors, ReportsArriveWhenTheCompileAreaIsFull) {
    for (unsigned p = 0; p <= kMaxWordPage; ++p) area_alloc(4088);  // one unit left a page
    ASSERT_EQ(memory_stats().word_pages_used, static_cast<int>(kMaxWordPage) + 1);
    journal_reset();
    std::string long_text(kReportMax, 'y');
    struct {
        const char* name;
        void (*raise)(const std::string& text);
        std::string code, message;
    } cases[] = {
        {"overflow", [](const std::string&) { area_alloc(4088); }, "1435",
         "EVAL ERROR 1435 (:0:0) : Buffer Overflow(Area Free)"},
        {"parse error", [](const std::string&) { raise_parse(1125, "フォーマット不正 '%s'", "{{{"); }, "1125",
         "PARSE ERROR 1125 (:0) : フォーマット不正 '{{{'"},
        {"longest report", [](const std::string& t) { raise_runtime(2000, "%s", t.c_str()); }, "2000",
         ("EVAL ERROR 2000 (:0:0) : " + long_text).substr(0, kReportMax)},
        {"overflow again", [](const std::string&) { area_alloc(8); }, "1435",
         "EVAL ERROR 1435 (:0:0) : Buffer Overflow(Area Free)"},
    };
    for (const auto& c : cases) {
        journal_reset();
        auto r = expect_raise([&] { c.raise(long_text); });
        EXPECT_EQ(r.code, c.code) << c.name;
        EXPECT_EQ(r.message, c.message) << c.name;
        EXPECT_EQ(journal_buffer(), c.message + "\n") << c.name;
    }
    // Nothing was taken from the pages that are full.
    EXPECT_EQ(memory_stats().word_pages_used, static_cast<int>(kMaxWordPage) + 1);
}

TEST_F(Errors, FatalStartupGoesThroughTheHook) {
    g_hooks.fatal_exit = [](const std::string& m) { throw FatalStartup{m}; };
    try {
        fatal_startup("koru設定ファイル(%s)が開けません", "/x/KORU.config");
        FAIL();
    } catch (const FatalStartup& f) {
        EXPECT_EQ(f.message, "koru設定ファイル(/x/KORU.config)が開けません");
    }
    g_hooks.fatal_exit = nullptr;
}

}  // namespace
}  // namespace koru
