#include "compiler/emit.h"
#include "compiler/module.h"
#include "runtime/cell.h"
#include "runtime/objects.h"
#include "shapes.h"

namespace koru::test {
namespace {

TEST(LiteralShapes, Values) {
    const ShapeCase cases[] = {
        {"x = 'a\\nb';", "(OP_ASSIGN x \"a\\nb\")"},
        {"x = `a\\nb`;", "(OP_ASSIGN x `a\\nb`)"},
        {"x = `a\\`b`;", "(OP_ASSIGN x `a`b`)"},
        {"x = '\\q\\u0041';", "(OP_ASSIGN x \"qu0041\")"},
        {"x = \"it's\";", "(OP_ASSIGN x \"it's\")"},
        {"x = 'a\r\nb';", "(OP_ASSIGN x \"a\\nb\")"},
        {"x = -0x10;", "(OP_ASSIGN x -16)"},
        {"x = 0xFF;", "(OP_ASSIGN x 255)"},
        {"x = 1.5e3;", "(OP_ASSIGN x 1500d)"},
        {"x = .5;", "(OP_ASSIGN x 0.5d)"},
        {"x = 2147483647;", "(OP_ASSIGN x 2147483647)"},
        {"x = 2147483648;", "(OP_ASSIGN x 2147483648d)"},
        {"x = -2147483648;", "(OP_ASSIGN x -2147483648d)"},
        {"x = 4294967296;", "(OP_ASSIGN x 4294967296d)"},
        {"x = [f(1), [2, 3], {a: 1}];", "(OP_ASSIGN x (array (OP_CALL f (args 1)) (array 2 3) (hash (a: 1))))"},
        {"x = [1, 2,];", "(OP_ASSIGN x (array 1 2))"},
        {"x = { \"a\": 1, b: y + 1, a: 2 };", "(OP_ASSIGN x (hash (a: 1) (b: (OP_ADD y 1)) (a: 2)))"},
        {"x = [];", "(OP_ASSIGN x (array))"},
        {"x = {};", "(OP_ASSIGN x (hash))"},
        {"x = [a ? 1 : 2];", "(OP_ASSIGN x (array (OP_COND a 1 2)))"},
    };
    for (const ShapeCase& c : cases) EXPECT_EQ(shape(c.source), c.expected) << c.source;
}

TEST(LiteralShapes, Errors) {
    const ShapeCase cases[] = {
        {"x = 'abc", "ERROR 1010 JSON文字列不正"},
        {"x = 'abc\\", "ERROR 1010 JSON文字列不正"},
        {"x = [1,,2];", "ERROR 1070 JSON文字列フォーマット不正 ',2'"},
        {"x = [1 2];", "ERROR 1070 JSON文字列フォーマット不正 '1 2'"},
        {"x = [1;", "ERROR 1070 JSON文字列フォーマット不正 '[1;'"},
        {"x = { 1: 2 };", "ERROR 1140 文字列のフォーマット不正 '1: 2 '"},
        {"x = { a 2 };", "ERROR 1140 文字列のフォーマット不正 'a 2 '"},
        {"x = { a: };", "ERROR 1140 文字列のフォーマット不正 'a: '"},
        {"x = { a: 1 ;};", "ERROR 1055 JSON文字列不正 ';'"},
        {"x = [a +];", "ERROR 1065 JSON文字列フォーマット不正 'a +'"},
    };
    for (const ShapeCase& c : cases) EXPECT_EQ(shape(c.source), c.expected) << c.source;
}

TEST(LiteralShapes, CellFields) {
    fresh_compiler();
    std::string text = "x = `t${a}`; y = [1]; z = {};\nw = 'a\nb'; v = 1;";
    std::vector<Value> s;
    compile_module("t.js", text.data(), s);
    ASSERT_EQ(s.size(), 5u);
    Value tmpl(instr_operands(s[0])[1]);
    EXPECT_EQ(cell_as<StringCell>(tmpl)->template_flag, static_cast<int16_t>(0x8000));
    EXPECT_EQ(string_length(tmpl), 5u);
    Value arr(instr_operands(s[1])[1]);
    EXPECT_EQ(cell_as<ArrayCell>(arr)->capacity, 11u);
    Value hash(instr_operands(s[2])[1]);
    EXPECT_EQ(cell_as<HashCell>(hash)->capacity, 10u);
    // The literal spanning lines moves the line count on.
    EXPECT_EQ(cell_as<InstrCell>(s[4])->position & 0xFFFF, 3u);
}

TEST(DriverParsers, TopCall) {
    const ShapeCase cases[] = {
        {"main", "(OP_CALL main (args))"},
        {"main(1, \"a\", [2])", "(OP_CALL main (args 1 \"a\" (array 2)))"},
        {" run ( ) ; ", "(OP_CALL run (args))"},
    };
    for (const ShapeCase& c : cases) {
        fresh_compiler();
        EXPECT_EQ(dump_compact(parse_top_call(c.source)), c.expected) << c.source;
    }
    fresh_compiler();
    Value v = parse_top_call("main(1)");
    EXPECT_FALSE(cell_as<InstrCell>(v)->stoppable());
    EXPECT_EQ(cell_as<InstrCell>(v)->position, 0u);

    const ShapeCase errors[] = {
        {"1 + 2", "1810 評価する式が不正 '1 + 2'"},
        {"main(1) x", "1810 評価する式が不正 'main(1) x'"},
        {"main(1) + 2", "1720 TOP関数のステートメントの演算子不正 'main(1) + 2'"},
        {"main(1", "1730 TOP関数のフォーマット不正 'main(1'"},
        {"if (x)", "1725 TOP関数のステートメント不正"},
    };
    for (const ShapeCase& c : errors) {
        fresh_compiler();
        Raised r = catch_error([&] { parse_top_call(c.source); });
        EXPECT_EQ(std::to_string(r.code) + " " + r.message, c.expected) << c.source;
    }
}

TEST(DriverParsers, NameValue) {
    fresh_compiler();
    NameValue nv = parse_name_value(" limit : 100 ");
    EXPECT_STREQ(symbol_name(nv.symbol), "limit");
    EXPECT_EQ(int_value(nv.value), 100);
    nv = parse_name_value("\"addr\":'10.0.0.1' // client");
    EXPECT_STREQ(symbol_name(nv.symbol), "addr");
    EXPECT_EQ(std::string(string_text(nv.value)), "10.0.0.1");
    nv = parse_name_value("h:{a:[1,2]}");
    EXPECT_EQ(dump_compact(nv.value), "(hash (a: (array 1 2)))");

    for (const char* bad : {"limit", "limit=3", ":3", "a:b", "a:1,2", "a:f(1)"}) {
        fresh_compiler();
        Raised r = catch_error([&] { parse_name_value(bad); });
        EXPECT_EQ(r.code, 1140) << bad;
        EXPECT_EQ(r.message, std::string("文字列のフォーマット不正 '") + bad + "'") << bad;
    }
}

TEST(DriverParsers, ModuleFileOpenFailure) {
    fresh_compiler();
    std::vector<Value> s;
    Raised r = catch_error([&] { load_source_module("/nonexistent-dir", "sub/a.js", 1, s); });
    EXPECT_EQ(r.code, 1165);
    EXPECT_EQ(r.message, "ファイルオープン不正 '/nonexistent-dir/sub/a.js'");
}

}  // namespace
}  // namespace koru::test
