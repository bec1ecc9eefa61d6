// The error catalogue: its rows are well formed and distinct, a format is
// read the way printf reads it, and raising a row reports its code and text.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

#include "compiler/state.h"
#include "host/error_catalogue.h"
#include "host/errors.h"
#include "strings/regex/fail.h"
#include "support/fresh.h"

namespace koru {
namespace {

using err::ArgKind;
using testing::expect_raise;

TEST(ErrorCatalogue, EveryFormatTakesOnlyWhatTheRoutinesTake) {
    for (size_t i = 0; i < err::kRowCount; ++i) {
        err::FormatArgs a = err::format_args(err::kFormats[i]);
        EXPECT_TRUE(a.valid) << err::kNames[i] << ": " << err::kFormats[i];
        // A row without arguments is raised as a "%s" argument: its text
        // must not hold a '%' that printf would have read.
        if (a.count == 0) {
            EXPECT_FALSE(a.has_percent) << err::kNames[i];
        }
    }
}

TEST(ErrorCatalogue, NoTwoRowsAreTheSameError) {
    std::set<std::pair<int, std::string>> seen;
    for (size_t i = 0; i < err::kRowCount; ++i)
        EXPECT_TRUE(seen.emplace(err::kCodes[i], err::kFormats[i]).second)
            << err::kNames[i] << " repeats " << err::kCodes[i] << " " << err::kFormats[i];
}

TEST(ErrorCatalogue, CodesAreFourDigitsOrNoneForFatalStartup) {
    for (size_t i = 0; i < err::kRowCount; ++i) {
        int code = err::kCodes[i];
        bool fatal = std::string(err::kNames[i]).rfind("fatal_", 0) == 0;
        if (fatal) {
            EXPECT_EQ(code, 0) << err::kNames[i];
        } else {
            EXPECT_TRUE(code >= 1000 && code <= 9999) << err::kNames[i] << " " << code;
        }
        EXPECT_STRNE(err::kWheres[i], "") << err::kNames[i];
    }
}

TEST(ErrorCatalogue, FormatsAreReadAsPrintfReadsThem) {
    constexpr ArgKind I = ArgKind::Int, U = ArgKind::Unsigned, T = ArgKind::Text;
    struct Case {
        const char* format;
        bool valid;
        std::initializer_list<ArgKind> kinds;
    } cases[] = {
        {"plain text", true, {}},
        {"100%% sure", true, {}},
        {"'%s'", true, {T}},
        {"%d and %i and %c", true, {I, I, I}},
        {"%u %x %X", true, {U, U, U}},
        {"(%.*s)", true, {I, T}},
        {"%*d", true, {I, I}},
        {"%.1s%s", true, {T, T}},
        {"セクション %08X '%s'", true, {U, T}},
        {"%-5d|% d|%+d|%#x", true, {I, I, I, U}},
        {"%f", false, {}},
        {"%ld", false, {}},
        {"%zu", false, {}},
        {"%p", false, {}},
        {"%n", false, {}},
        {"trailing %", false, {}},
        {"%.", false, {}},
        {"%s%s%s%s%s%s%s%s%s", false, {T, T, T, T, T, T, T, T}},  // more than the routines take
    };
    for (const Case& c : cases) {
        err::FormatArgs a = err::format_args(c.format);
        EXPECT_EQ(a.valid, c.valid) << c.format;
        if (!c.valid) continue;
        ASSERT_EQ(a.count, c.kinds.size()) << c.format;
        size_t k = 0;
        for (ArgKind want : c.kinds) EXPECT_EQ(a.kinds[k++], want) << c.format << " argument " << k;
    }
}

TEST(ErrorCatalogue, ArgumentsFitByKind) {
    constexpr err::FormatArgs text_int = err::format_args("%s %d");
    static_assert(err::args_fit<const char*, int>(text_int));
    static_assert(err::args_fit<char*, unsigned>(text_int));
    static_assert(!err::args_fit<int, const char*>(text_int));
    static_assert(!err::args_fit<const char*>(text_int));
    static_assert(!err::args_fit<const char*, int, int>(text_int));
    static_assert(!err::args_fit<const char*, long long>(text_int));
    static_assert(!err::args_fit<const char*, double>(text_int));
    static_assert(!err::args_fit<std::string, int>(text_int));
    static_assert(!err::args_fit<const char*, bool>(text_int));
    SUCCEED();
}

class ErrorRows : public testing::Fresh {};

TEST_F(ErrorRows, RaisingARowReportsItsCodeAndText) {
    static const err::Plain chosen = err::token_refused;
    static const err::Ref<int, const char*> setter = err::date_set_year;
    struct {
        const char* name;
        void (*raise)();
        const char* code;
        const char* message;
    } cases[] = {
        {"runtime, no arguments", [] { raise_runtime(err::division_by_zero); }, "2330",
         "EVAL ERROR 2330 (:0:0) : オペレーション不正(０割)"},
        {"runtime, arguments", [] { raise_runtime(err::not_a_function_named, "f", 3); }, "2155",
         "EVAL ERROR 2155 (:0:0) : 関数不正(f), 3"},
        {"runtime, precision", [] { raise_runtime(err::bad_expression_text, 2, "abc"); }, "2015",
         "EVAL ERROR 2015 (:0:0) : 評価式不正 'ab'"},
        {"runtime, unsigned", [] { raise_runtime(err::object_file_section, 0xABu, "m.jo"); }, "1459",
         "EVAL ERROR 1459 (:0:0) : オブジェクトファイル不正(セクション 000000AB) 'm.jo'"},
        {"chosen at run time", [] { raise_runtime(chosen); }, "1775", "EVAL ERROR 1775 (:0:0) : 認証エラー"},
        {"chosen, arguments", [] { raise_runtime(setter, 7, "setYear"); }, "5535",
         "EVAL ERROR 5535 (:0:0) : Dateのメソッド setYear 引数不正"},
        {"to the host", [] { raise_to_host(err::cpu_limit); }, "1780",
         "EVAL ERROR 1780 (:0:0) : CPU時間の上限を超えました(CPU_LIMIT)"},
        {"parse", [] { raise_parse(err::module_name_no_extension, "a/b"); }, "1170",
         "PARSE ERROR 1170 (:0) : モジュール名不正 'a/b'"},
        {"compile", [] { compile_error(err::bracket_unclosed, ")", "(x", "f(x"); }, "1130",
         "PARSE ERROR 1130 (:1) : ステートメント不正 (')'なし) (f(x"},
        {"pattern as parse", [] { regex::fail(RaiseAs::Parse, err::pattern_flags_bad, "q"); }, "4795",
         "PARSE ERROR 4795 (:0) : 正規表現のオプション不正(q)"},
        {"pattern as runtime", [] { regex::fail(RaiseAs::Runtime, err::pattern_missing); }, "4785",
         "EVAL ERROR 4785 (:0:0) : 正規表現のフォーマット不正 (パターンなし)"},
    };
    for (const auto& c : cases) {
        g_errors.reset();  // a compile error leaves its line behind
        auto r = expect_raise(c.raise);
        EXPECT_EQ(r.code, c.code) << c.name;
        EXPECT_EQ(r.message, c.message) << c.name;
    }
}

TEST_F(ErrorRows, FatalStartupRowsWriteTheirText) {
    g_hooks.fatal_exit = [](const std::string& m) { throw FatalStartup{m}; };
    static const err::Plain chosen = err::fatal_cpu_limit;
    struct {
        void (*raise)();
        const char* message;
    } cases[] = {
        {[] { fatal_startup(err::fatal_configs_unopened, "/a", "/b"); }, "koru設定ファイル(/a, /b)が開けません"},
        {[] { fatal_startup(err::fatal_length_bad); }, "受信データの長さ不正(CONTENT_LENGTH)"},
        {[] { fatal_startup(chosen); }, "configファイルのCPU_LIMITは整数を設定してください。"},
    };
    for (const auto& c : cases) {
        try {
            c.raise();
            ADD_FAILURE() << c.message;
        } catch (const FatalStartup& f) {
            EXPECT_EQ(f.message, c.message);
        }
    }
    g_hooks.fatal_exit = nullptr;
}

}  // namespace
}  // namespace koru
