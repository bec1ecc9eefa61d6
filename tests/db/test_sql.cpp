// The SQL compiler of the database statements, the parameter texts of bound
// values and the scoring of narrow text: the parts that need no driver.
#include <gtest/gtest.h>

#include <string>

#include "db/odbc/narrow.h"
#include "db/odbc/odbc.h"
#include "db/sql.h"
#include "host/errors.h"
#include "runtime/objects.h"
#include "runtime/symbols.h"
#include "support/fresh.h"

namespace koru {
namespace {

using testing::expect_raise;

std::string narrow(const std::u16string& s) {
    std::string out;
    for (char16_t u : s) out.push_back(u < 0x80 ? static_cast<char>(u) : '#');
    return out;
}

class Sql : public testing::Fresh {
protected:
    // The text the driver receives, for the given placeholder form.
    static std::string sent(const std::string& sql, char ph = '?', bool numbered = false,
                            SqlWord word = SqlWord::Select) {
        SqlStatement st;
        compile_sql(st, sql.data(), sql.size(), ph, numbered, word);
        return narrow(st.text);
    }
};

TEST_F(Sql, MarkersBecomeEachKindsPlaceholder) {
    const std::string q = "SELECT * FROM t WHERE a = :x AND b = :{y + 1} AND c = :x";
    struct { char ph; bool numbered; const char* text; } kinds[] = {
        {'?', false, "SELECT * FROM t WHERE a = ? AND b = ? AND c = ?"},
        {':', true, "SELECT * FROM t WHERE a = :1 AND b = :2 AND c = :3"},
        {'$', true, "SELECT * FROM t WHERE a = $1 AND b = $2 AND c = $3"},
    };
    for (const auto& k : kinds) EXPECT_EQ(sent(q, k.ph, k.numbered), k.text) << k.ph;
}

TEST_F(Sql, MarkersAreClassifiedAndCountedByGroup) {
    SqlStatement st;
    std::string q = "insert into t values(:2, :name, :{1 + 2}, :1, :name)";
    compile_sql(st, q.data(), q.size(), '$', true, SqlWord::NotSelect);
    EXPECT_EQ(narrow(st.text), "insert into t values($1, $2, $3, $4, $5)");
    EXPECT_EQ(st.marker_count, 5);
    EXPECT_EQ(st.named_count, 3);
    EXPECT_EQ(st.positional_count, 2);
    EXPECT_EQ(std::string(st.kinds.begin(), st.kinds.end()), "ANEAN");
    EXPECT_EQ(std::string(st.named_kinds.begin(), st.named_kinds.end()), "NEN");
    EXPECT_EQ(std::vector<uint8_t>(st.ordinals), (std::vector<uint8_t>{0, 0, 1, 1, 2}));
    EXPECT_EQ(std::vector<uint8_t>(st.numbers), (std::vector<uint8_t>{2, 1}));
    ASSERT_EQ(st.refs.size(), 3u);
    EXPECT_TRUE(st.refs[0].is_symbol());
    EXPECT_EQ(std::string(symbol_name(st.refs[0].payload())), "name");
    EXPECT_EQ(st.refs[1].kind(), Kind::Instruction);
    EXPECT_EQ(st.refs[2], st.refs[0]);
}

TEST_F(Sql, QuotedSpansDoubleColonsAndEscapesAreNoMarkers) {
    struct { const char* in; const char* out; } cases[] = {
        {"select a::int from t", "select a::int from t"},
        {"select ':x' from t", "select ':x' from t"},
        {"select \":x\", `:y` from t", "select \":x\", `:y` from t"},
        {"select 'it''s :x', :y from t", "select 'it''s :x', ? from t"},
        {"select 'a\\':x' , :y", "select 'a\\':x' , ?"},
        {"select \\:x, :y", "select \\:x, ?"},
        {"select :{ '}' + \"{\" }", "select ?"},
        {"select :{ {a: 1}.a }", "select ?"},
    };
    for (const auto& c : cases) EXPECT_EQ(sent(c.in), c.out) << c.in;
}

TEST_F(Sql, WhiteSpaceFoldsToOneBlankEverywhere) {
    struct { const char* in; const char* out; } cases[] = {
        {"  \n\tselect\t\ta\r\n,  b  from t  ", "select a , b from t "},
        {"select 'a    b' from t", "select 'a b' from t"},
        {"select :x\n\n", "select ? "},
        {"Select 1", "Select 1"},
    };
    for (const auto& c : cases) EXPECT_EQ(sent(c.in), c.out) << c.in;
}

TEST_F(Sql, TextIsSentAsUtf16) {
    SqlStatement st;
    std::string q = "select 'あ' from t";
    compile_sql(st, q.data(), q.size(), '?', false, SqlWord::Select);
    EXPECT_EQ(st.text, u"select 'あ' from t");
    std::string emoji = "select '\xF0\x9F\x98\x80'";
    // A runtime error of the statement, which a script's try takes.
    testing::Raised r = expect_raise([&] { sent(emoji); });
    EXPECT_EQ(r.code, "1595");
    EXPECT_NE(r.message.find("EVAL ERROR"), std::string::npos) << r.message;
}

TEST_F(Sql, TheFirstWordMustFitTheStatement) {
    struct { const char* in; SqlWord word; bool ok; } cases[] = {
        {"select 1", SqlWord::Select, true},
        {"  SELECT 1", SqlWord::Select, true},
        {"with q as (select 1) select * from q", SqlWord::Select, false},
        {"selects 1", SqlWord::Select, false},
        {"", SqlWord::Select, false},
        {"insert into t values(1)", SqlWord::NotSelect, true},
        {"\n select 1", SqlWord::NotSelect, false},
        {"(select 1)", SqlWord::NotSelect, true},
    };
    for (const auto& c : cases) {
        if (c.ok) {
            EXPECT_NO_THROW(sent(c.in, '?', false, c.word)) << c.in;
        } else {
            testing::Raised r = expect_raise([&] { sent(c.in, '?', false, c.word); });
            EXPECT_EQ(r.code, "1350") << c.in;
            EXPECT_EQ(r.message, "EVAL ERROR 1350 (:0:0) : SQL文不正(関数/select)") << c.in;
        }
    }
}

TEST_F(Sql, MarkerLimitsAndBadMarkers) {
    std::string ok = "select ", over = "select ";
    for (int i = 0; i < 255; ++i) ok += ":v,";
    over = ok + ":v";
    SqlStatement st;
    compile_sql(st, ok.data(), ok.size(), '?', false, SqlWord::Select);
    EXPECT_EQ(st.marker_count, 255);
    struct { std::string in; const char* message; } bad[] = {
        {over, "SQL文不正(バインド数不正。256以上)"},
        {"select :0", "SQL文不正(バインド番号不正。1～256でない)"},
        {"select :256", "SQL文不正(バインド番号不正。1～256でない)"},
        {"select :99999999999999999999", "SQL文不正(バインド番号不正。1～256でない)"},
        {"select :", "SQL文不正(バインドの記述不正)"},
        {"select : x", "SQL文不正(バインドの記述不正)"},
        {"select :-1", "SQL文不正(バインドの記述不正)"},
        {"select :{}", "SQL文不正(バインドの記述不正)"},
    };
    for (const auto& b : bad) {
        testing::Raised r = expect_raise([&] { sent(b.in); });
        EXPECT_EQ(r.code, "1350") << b.in;
        EXPECT_EQ(r.message, std::string("EVAL ERROR 1350 (:0:0) : ") + b.message) << b.in;
    }
    EXPECT_NO_THROW(sent("select :255"));
}

TEST_F(Sql, NamesAndExpressionsFailAsCompileErrors) {
    std::string long_name = "select :" + std::string(201, 'n');
    std::string long_word = std::string(201, 's') + " 1";
    struct { std::string in; const char* code; } cases[] = {
        {long_name, "1005"},
        {long_word, "1005"},
        {"select :{1 + 2", "1130"},
        {"select :{1 + 2; 3}", "1135"},
        {"select :{1 +}", "1125"},
    };
    for (const auto& c : cases) {
        testing::Raised r = expect_raise([&] { sent(c.in); });
        EXPECT_EQ(r.code, c.code) << c.in;
        EXPECT_EQ(r.target, 0u) << c.in;  // a parse error goes to the host
    }
    EXPECT_NO_THROW(sent("select :" + std::string(200, 'n')));
}

TEST_F(Sql, BoundValuesBecomeParameterTexts) {
    struct { Value v; const char* text; } cases[] = {
        {make_int(7), "7"},
        {make_int(-2147483647 - 1), "-2147483648"},
        {make_double(0.5), "0.5"},
        {make_double(2.5), "2.5"},
        {make_double(3.0), "3.0"},
        {make_double(-0.125), "-0.125"},
        {make_double(1.0 / 3), "0.3333333333"},
        {make_string("x'); DROP TABLE t; --"), "x'); DROP TABLE t; --"},
        {make_string(""), ""},
        {kUndefinedValue, "undefined"},
        {kTrueValue, "true"},
        {kFalseValue, "false"},
        {kNullValue, "null"},
        {kNaNValue, "NaN"},
        {Value::symbol(intern("someName")), "someName"},
    };
    for (const auto& c : cases) {
        std::string out = "stale";
        EXPECT_TRUE(bind_value_text(c.v, out)) << c.text;
        EXPECT_EQ(out, c.text);
    }
    std::string out;
    EXPECT_FALSE(bind_value_text(make_array(1), out));
    EXPECT_FALSE(bind_value_text(make_hash(0), out));
}

TEST(NarrowText, ScoresLeadBytesAsTheTableSays) {
    struct { std::string in; unsigned u, s; } cases[] = {
        {"plain ascii", 0, 0},
        {"\x82\xA0\x82\xA2", 0, 4},                  // Shift_JIS あい: lead 0x82
        {"\xE3\x81\x82\xE3\x81\x84", 4, 0},          // UTF-8 あい
        {"\xB1\xB2", 0, 2},                          // half-width katakana: 0xA0-0xC1
        {"\xC3\xA9", 1, 0},                          // é in UTF-8
        {"\xC3\x81", 0, 1},                          // 0xC2-0xDF then 0x80-0x9F
        {"\xE3\x41\x42", 0, 0},                      // a 0xE0-0xEF lead without continuations skips one
        {"\xF0\x9F\x98\x80", 2, 0},
        {"\xFE\xFF", 0, 0},
        {"\x82", 0, 2},                              // a lead at the end does not read past it
    };
    for (const auto& c : cases) {
        NarrowScore s = score_narrow_text(c.in.data(), c.in.size());
        EXPECT_EQ(s.utf8, c.u) << c.in;
        EXPECT_EQ(s.ansi, c.s) << c.in;
    }
}

TEST(NarrowText, ScoringStopsAtANulAndAtADifferenceOfTwelve) {
    std::string sjis;
    for (int i = 0; i < 10; ++i) sjis += "\x82\xA0";
    std::string tail = sjis + std::string(30, 'x');
    for (int i = 0; i < 10; ++i) tail += "\xE3\x81\x82";
    NarrowScore s = score_narrow_text(tail.data(), tail.size());
    EXPECT_EQ(s.ansi, 12u);  // stopped: the UTF-8 after it was never scored
    EXPECT_EQ(s.utf8, 0u);
    std::string cut = std::string("ab\0", 3) + "\x82\xA0";
    s = score_narrow_text(cut.data(), cut.size());
    EXPECT_EQ(s.ansi, 0u);
}

TEST(NarrowText, AnsiTextIsConvertedAndUtf8PassesThrough) {
    EXPECT_EQ(narrow_to_utf8("\x82\xA0\x82\xA2\x82\xA4", 6), "あいう");
    EXPECT_EQ(narrow_to_utf8("あいう", 9), "あいう");
    EXPECT_EQ(narrow_to_utf8("abc", 3), "abc");
    // A byte with no character in CP932 becomes U+FFFD, the rest is kept.
    EXPECT_EQ(cp932_to_utf8("\x82\xA0\x80z", 4), "あ\xEF\xBF\xBDz");
}

TEST(OdbcText, Utf16UnitsBecomeOneToThreeBytesEach) {
    const char16_t units[] = {u'a', 0xE9, 0x3042, 0xD83D, 0xDE00, u'b', 0, u'c'};
    const auto* p = reinterpret_cast<const odbc::SqlWChar*>(units);
    // A surrogate is written on its own; the text ends at the 0 unit.
    EXPECT_EQ(odbc_narrow(p, 8, 100), "a\xC3\xA9\xE3\x81\x82\xED\xA0\xBD\xED\xB8\x80" "b");
    // The limit is never passed, and a character is never cut.
    EXPECT_EQ(odbc_narrow(p, 8, 5), "a\xC3\xA9");
    EXPECT_EQ(odbc_narrow(p, 8, 6), "a\xC3\xA9\xE3\x81\x82");
}

}  // namespace
}  // namespace koru
