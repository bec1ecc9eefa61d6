// The database layer against a driver manager that misbehaves on purpose
// (fake_odbc.cpp): lengths beyond the buffers, unknown totals, too many
// columns, success with information, executions that touch no row, more
// diagnostics than are read; and every statement handle freed on every path.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>

#include "db/state.h"
#include "interp/fixture.h"

namespace koru {
namespace {

using test::fresh_process;
using test::global_text;
using test::Outcome;
using test::run_script;

int live_statements() {
    static auto fn = [] {
        void* lib = dlopen(KORU_FAKE_ODBC, RTLD_NOW);
        return lib ? reinterpret_cast<int (*)()>(dlsym(lib, "fake_odbc_live_statements")) : nullptr;
    }();
    if (!fn) {
        ADD_FAILURE() << "the fake driver manager did not load: " << KORU_FAKE_ODBC;
        return -1;
    }
    return fn();
}

class FakeDriver : public ::testing::Test {
protected:
    void SetUp() override {
        fresh_process();
        before_ = live_statements();
    }
    void TearDown() override {
        EXPECT_EQ(live_statements(), before_) << "a statement handle was left";
        EXPECT_EQ(g_db.connection_count, 1u);
        g_hooks.record_sink = nullptr;
        process_reset();
        EXPECT_EQ(g_db.connection_count, 0u);
    }
    // Runs a script body with `db` open on the fake driver manager.
    static Outcome run(const std::string& connection, const std::string& body) {
        return run_script("var db = openDb('sqlite', '" KORU_FAKE_ODBC "', '" + connection + "');\n" + body);
    }
    int before_ = 0;
};

TEST_F(FakeDriver, SuccessWithInformationIsSuccessEverywhere) {
    Outcome o = run("info", R"js(
        var n = execute(db, "insert into t values(1)");
        var x = 5;
        var m = execute(db, "insert into t values(:x)");
        var p = execute(db, "insert into t values(:1)", [[1], [2]]);
        var r = select(db, "select rows");
        var h = selectHash(db, "select rows");
        var c = 0;
        var i = selectInto(db, "select big", c);
        var z = selectToFront(db, "z", "select rows");
        closeDb(db, "commit");
        var db = openDb('sqlite', 'ignored once loaded', 'info');)js");
    ASSERT_FALSE(o.error) << o.report;
    EXPECT_EQ(global_text("n"), "3");
    EXPECT_EQ(global_text("m"), "3");
    EXPECT_EQ(global_text("p"), "6");
    EXPECT_EQ(global_text("r"), "[[42,\"abc\"],[-7,\"de\"]]");
    EXPECT_EQ(global_text("h"), "[{'c1':42,'c2':\"abc\"},{'c1':-7,'c2':\"de\"}]");
    EXPECT_EQ(global_text("i"), "1");
    EXPECT_EQ(global_text("z"), "2");
    EXPECT_EQ(test::g_records, "Z121211zP4213abcP-712de");
}

TEST_F(FakeDriver, AnExecutionThatTouchesNoRowCountsZero) {
    Outcome o = run("nodata", R"js(
        var x = 1;
        var a = execute(db, "update t set a = 1");
        var b = execute(db, "update t set a = :x");
        var c = execute(db, "update t set a = :1", [[1], [2], [3]]);)js");
    ASSERT_FALSE(o.error) << o.report;
    EXPECT_EQ(global_text("a"), "0");
    EXPECT_EQ(global_text("b"), "0");
    EXPECT_EQ(global_text("c"), "0");
}

TEST_F(FakeDriver, LengthsBeyondTheBuffersReadOnlyTheBuffers) {
    // A text column of 4 characters has a buffer of 4 x 4 + 8 bytes and 4
    // more: 13 units before the terminator's place.
    Outcome o = run("", R"js(
        var big = select(db, "select big")[0][0];
        var nototal = select(db, "select nototal")[0][0];
        var negind = select(db, "select negind")[0][0];
        var narrow = select(db, "select narrowbig")[0][0];
        var huge = select(db, "select hugesize")[0][0];
        var none = select(db, "select negcols");
        var named = selectHash(db, "select longname")[0];
        var keys = Object.keys(named);
        var keylen = keys[0].length;)js");
    ASSERT_FALSE(o.error) << o.report;
    EXPECT_EQ(global_text("big"), "\"abcdefghijklm\"");
    EXPECT_EQ(global_text("nototal"), "\"abcdefghijklm\"");
    EXPECT_EQ(global_text("negind"), "\"abcdefghijklm\"");
    EXPECT_EQ(global_text("narrow"), "\"" + std::string(43, 'y') + "\"");
    EXPECT_EQ(global_text("huge"), "\"ok\"");
    EXPECT_EQ(global_text("none"), "[]");
    EXPECT_EQ(global_text("keylen"), "255");
}

TEST_F(FakeDriver, LongValuesInRecordsAreBoundByTheirColumn) {
    // The same cut values as record fields: 13 characters fit the 24 bytes
    // of the column's field.
    Outcome o = run("", R"js(selectToFront(db, "z", "select big");)js");
    ASSERT_FALSE(o.error) << o.report;
    EXPECT_EQ(test::g_records, "Z111111z213abcdefghijklm");
}

TEST_F(FakeDriver, TooManyColumnsAreRefused) {
    Outcome o = run("", R"js(var r = select(db, "select cols300");)js");
    EXPECT_EQ(o.code, 3800);
    EXPECT_EQ(o.message, "カラム数が多すぎます(MAX 256)");
}

TEST_F(FakeDriver, AtMostFiveDiagnosticsAreReadEachCutToItsBuffer) {
    Outcome o = run("", R"js(execute(db, "fail now");)js");
    ASSERT_TRUE(o.error);
    EXPECT_EQ(o.code, 3690);
    EXPECT_EQ(o.message, "SQLExecDirectW Failed\nstatus=diag 1\n\nstatus=" + std::string(511, 'm') +
                             "\n\nstatus=diag 3\n\nstatus=diag 4\n\nstatus=diag 5\n");
}

TEST_F(FakeDriver, EveryPathFreesItsStatementHandle) {
    Outcome o = run("", R"js(
        var failed = 0, x = 1;
        for (var i = 0; i < 200; i++) {
            try { execute(db, "fail direct"); } catch (e) { failed++; }
            try { execute(db, "fail :x"); } catch (e) { failed++; }
            try { execute(db, "fail :1", [[1], [2]]); } catch (e) { failed++; }
            try { select(db, "select cols300"); } catch (e) { failed++; }
            try { select(db, "select ?"); } catch (e) { failed++; }
            try { var a, b; selectInto(db, "select rows", a, b); } catch (e) { failed++; }
            try { var c; selectInto(db, "select rows", c); } catch (e) { failed++; }
        })js");
    ASSERT_FALSE(o.error) << o.report;
    EXPECT_EQ(global_text("failed"), "1400");
}

}  // namespace
}  // namespace koru
