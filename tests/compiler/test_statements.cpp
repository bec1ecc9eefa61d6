#include <cstring>
#include "compiler/emit.h"
#include "compiler/module.h"
#include "runtime/cell.h"
#include "runtime/objects.h"
#include "shapes.h"

namespace koru::test {
namespace {

TEST(StatementShapes, Forms) {
    const ShapeCase cases[] = {
        {"if (a) b = 1; else { c(); }", "(OP_IF a (OP_ASSIGN b 1) (OP_BLOCK (OP_CALL c (args))))"},
        {"if (a) elsewhere = 1;", "(OP_IF a (OP_ASSIGN elsewhere 1))"},
        {"while (i < 3) i++;", "(OP_WHILE (OP_LT i 3) (OP_POST_INC i))"},
        {"do { i++; } while (i < 3);", "(OP_DO_WHILE (OP_BLOCK (OP_POST_INC i)) (OP_LT i 3))"},
        {"for (i = 0; i < n; i++) {}", "(OP_FOR (init (OP_ASSIGN i 0)) (OP_LT i n) (update (OP_POST_INC i)) (OP_BLOCK))"},
        {"for (i = 0; i < n) {}", "(OP_FOR (init (OP_ASSIGN i 0)) (OP_LT i n) (update) (OP_BLOCK))"},
        {"for (var i = 0, j = 1; i < n; i++, j++) ;",
         "(OP_FOR (init (OP_VAR (OP_ASSIGN i 0) (OP_ASSIGN j 1))) (OP_LT i n) (update (OP_POST_INC i) (OP_POST_INC j)) undefined)"},
        {"for (const k in h) {}", "(OP_FOR_IN k h (OP_BLOCK) kind=1)"},
        {"for (let k of a) {}", "(OP_FOR_OF k a (OP_BLOCK) kind=0)"},
        {"for (k of a) {}", "(OP_FOR_OF k a (OP_BLOCK) kind=0)"},
        {"for (var k of a) {}", "(OP_FOR_OF k a (OP_BLOCK) kind=2)"},
        {"try { a(); } catch (e) { b(); }",
         "(OP_TRY (OP_BLOCK (OP_CALL a (args))) (catch e (OP_BLOCK (OP_CALL b (args)))))"},
        {"try {} finally { f(); }", "(OP_TRY (OP_BLOCK) no-catch (finally (OP_BLOCK (OP_CALL f (args)))))"},
        {"try {} catch (e) {} finally {}", "(OP_TRY (OP_BLOCK) (catch e (OP_BLOCK)) (finally (OP_BLOCK)))"},
        {"switch (x) { case 1: a(); break; case \"b\": default: c(); }",
         "(OP_SWITCH x (case 1 ->0) (case \"b\" ->2) default->2 (body (OP_CALL a (args)) (OP_BREAK) (OP_CALL c (args))))"},
        {"return;", "(OP_RETURN)"},
        {"return a + 1;", "(OP_RETURN (OP_ADD a 1))"},
        {"throw e;", "(OP_THROW e)"},
        {"var a, b = 2;", "(OP_VAR a (OP_ASSIGN b 2))"},
        {"{ let x = 1; const y = 2; }", "(OP_BLOCK (OP_LET (OP_ASSIGN x 1)) (OP_CONST (OP_ASSIGN y 2)))"},
        {"{ let x = 1; } { let x = 2; }", "(OP_BLOCK (OP_LET (OP_ASSIGN x 1))) ; (OP_BLOCK (OP_LET (OP_ASSIGN x 2)))"},
        {"function f(a, b = 2) { var c; return a; }",
         "(OP_ASSIGN f (function lines=1-1 (params a (OP_ASSIGN b 2)) (locals c) (OP_BLOCK (OP_VAR c) (OP_RETURN a))))"},
        {"g = function (x) { return x; };",
         "(OP_ASSIGN g (function lines=1-1 (params x) (locals) (OP_BLOCK (OP_RETURN x))))"},
        {"select(db, \"q\");", "(OP_SELECT db \"q\")"},
        {"selectInto(db, \"q\", a, b);", "(OP_SELECT_INTO db \"q\" a b)"},
        {"closeDb(db, 1);", "(OP_CLOSE_DB db 1)"},
        {"sendToFront(\"x\");", "(OP_SEND_TO_FRONT \"x\")"},
        {"sendToFront(a, 1 + 2);", "(OP_SEND_TO_FRONT a (OP_ADD 1 2))"},
        {"alertToFront(\"m\");", "(OP_ALERT_TO_FRONT \"m\")"},
        {"x = eval(s);", "(OP_ASSIGN x (OP_EVAL s))"},
        {"encodeURIComponent(s);", "(OP_ENCODE_URI_COMPONENT s)"},
        {"parseInt();", "(OP_PARSE_INT)"},
        {"sql_aggregate(a, b, c, d);", "(OP_SQL_AGGREGATE a b c d)"},
        {";;", ""},
    };
    for (const ShapeCase& c : cases) EXPECT_EQ(shape(c.source), c.expected) << c.source;
}

TEST(StatementShapes, Errors) {
    const ShapeCase cases[] = {
        {"for (;;) {}", "ERROR 1090 ステートメント不正 'for for (;;) {}'"},
        {"{ break }", "ERROR 1105 ステートメント不正 'break '"},
        {"continue x;", "ERROR 1110 ステートメント不正 'continue x;'"},
        {"return a, b;", "ERROR 1115 ステートメント不正 'return a, b;'"},
        {"throw;", "ERROR 1100 ステートメント不正 'throw;'"},
        {"if a b;", "ERROR 1075 ステートメント不正 'if a b;"},
        {"while () x;", "ERROR 1080 ステートメント不正 'while while () x;"},
        {"do x; until (y);", "ERROR 1085 ステートメント不正 'do  do x; until (y);"},
        {"do x; while y;", "ERROR 1085 ステートメント不正 'do ... while do x; while y;"},
        {"try x;", "ERROR 1095 ステートメント不正 in 'try x;'"},
        {"try {} x;", "ERROR 1095 ステートメント不正 in 'try ... catch x;'"},
        {"try {} catch (a b) {}", "ERROR 1095 ステートメント不正 in 'try ... catch catch (a b) {}'"},
        {"switch (x) { default: a(); }", "ERROR 1155 ステートメント不正 'switch switch (x) { default: a(); }'"},
        {"switch (x) { case 1: }", "ERROR 1155 ステートメント不正 'switch switch (x) { case 1: }'"},
        {"switch x {}", "ERROR 1160 ステートメント不正 'switch switch x {}'"},
        {"var;", "ERROR 1025 フォーマット不正 'var;'"},
        {"var a + 1;", "ERROR 1025 フォーマット不正 'var a + 1;'"},
        {"{ let x = 1; let x = 2; }", "ERROR 1035 'let'内で変数名の重複 'let x = 2; '"},
        {"{ let; }", "ERROR 1030 フォーマット不正 'let' in 'let; '"},
        {"var g; { } const g = 1;", "ERROR 1035 'const'内で変数名の重複 'const g = 1;'"},
        {"function value() {}", "ERROR 1040 関数名不正 'function value() {}'"},
        {"function f(a + 1) {}", "ERROR 1050 フォーマット不正 'function f(a + 1) {}'"},
        {"function f() x", "ERROR 1050 フォーマット不正 'function f() x'"},
        {"{ a();", "ERROR 1145 ステートメント不正 '{  a();'"},
        {"selectInto(a, b);", "ERROR 1210 ステートメント不正(引数の数) 'selectInto(a, b);'"},
        {"closeDb();", "ERROR 1210 ステートメント不正(引数の数) 'closeDb();'"},
        {"mongo_find(x);", "ERROR 1211 ステートメント不正 'mongo_find(x);'"},
        {"redis_get(x);", "ERROR 1211 ステートメント不正 'redis_get(x);'"},
        {"eval;", "ERROR 1215 ステートメント不正 'eval;'"},
        {"eval(a, b);", "ERROR 1220 引数の個数不正 'eval(a, b);'"},
        {"parseInt(a, b, c);", "ERROR 1225 ステートメント不正 'parseInt(a, b, c);'"},
        {"sendToFront(1 + 2);", "ERROR 1230 ステートメント不正 'sendToFront(1 + 2);'"},
        {"alertToFront();", "ERROR 1235 ステートメント不正 'alertToFront();'"},
        {"x = {\n", "ERROR 1142 JSON文字列のフォーマット不正 '{'"},
    };
    for (const ShapeCase& c : cases) EXPECT_EQ(shape(c.source), c.expected) << c.source;
}

TEST(StatementShapes, SwitchLabelLimit) {
    auto body = [](int labels) {
        std::string s = "switch (x) {";
        for (int i = 0; i < labels; ++i) s += " case " + std::to_string(i) + ":";
        return s + " a(); }";
    };
    // The table holds 1024 pairs, two of them the header: once 1022 labels
    // are read, any further piece of the body (even a statement) is refused.
    EXPECT_EQ(shape(body(1021)).rfind("(OP_SWITCH x (case 0 ->0)", 0), 0u);
    EXPECT_EQ(shape(body(1022)).substr(0, 10), "ERROR 1150");
}

TEST(StatementShapes, LargeBlockKeepsItsCount) {
    fresh_compiler();
    std::string text = "{";
    for (int i = 0; i < 300; ++i) text += " a();";
    text += " }";
    std::vector<Value> statements;
    compile_module("t.js", text.data(), statements);
    ASSERT_EQ(statements.size(), 1u);
    const auto* c = cell_as<InstrCell>(statements[0]);
    EXPECT_EQ(c->nops, 255);
    EXPECT_EQ(c->position, 300u);
    EXPECT_EQ(c->operand_count(), 300u);
}

// Statements nest by recursion: up to 1000 inside each other compile, the
// next level is a parse error that quotes the statement where the limit
// was passed, and no depth (however hostile) runs the compiler out of stack.
TEST(StatementShapes, NestingDepthIsBounded) {
    struct Kind {
        const char* name;
        const char* open;   // one statement level around the rest
        const char* close;
        const char* excerpt;  // what the refused statement begins with
    };
    const Kind kinds[] = {
        {"block", "{", "}", "{}"},
        {"if", "if (1) ", "", "a();"},
        {"else if", "if (0) {} else ", "", "{} else a();"},  // the innermost then-block
        {"while", "while (0) ", "", "a();"},
        {"for", "for (i = 0; i < 1; i++) ", "", "a();"},
        {"for of", "for (k of a) ", "", "a();"},
        {"do", "do ", " while (0);", "a();"},
        {"try", "try { ", " } catch (e) {}", "a();"},
        {"function", "function f() { ", " }", "a();"},
    };
    // `levels` statements inside each other, the innermost a call (or, for
    // blocks, an empty block).
    auto nest = [](const Kind& k, size_t levels) {
        std::string text;
        bool block = std::string(k.open) == "{";
        size_t wrap = block ? levels : levels - 1;
        for (size_t i = 0; i < wrap; ++i) text += k.open;
        if (!block) text += "a();";
        for (size_t i = 0; i < wrap; ++i) text += k.close;
        return text;
    };
    for (const Kind& k : kinds) {
        EXPECT_EQ(shape(nest(k, 1000)).rfind("ERROR", 0), std::string::npos) << k.name;
        std::string refused = shape(nest(k, 1001));
        EXPECT_EQ(refused.substr(0, std::strlen("ERROR 1125 フォーマット不正 '") + std::strlen(k.excerpt)),
                  "ERROR 1125 フォーマット不正 '" + std::string(k.excerpt))
            << k.name;
    }
    // Depths that ran the unbounded compiler out of an 8 MiB stack.
    EXPECT_EQ(shape(nest(kinds[0], 50000)).substr(0, 10), "ERROR 1125");
    EXPECT_EQ(shape(nest(kinds[1], 50000)).substr(0, 10), "ERROR 1125");
}

TEST(StatementShapes, LinesAfterBlockCommentAndPositions) {
    EXPECT_EQ(shape("/* one\ntwo\nthree */\nx = ;"), "ERROR 1125 フォーマット不正 'x = ;'");
    fresh_compiler();
    std::string text = "/* a\n b */\n  x = 1;";
    std::vector<Value> statements;
    compile_module("t.js", text.data(), statements);
    ASSERT_EQ(statements.size(), 1u);
    EXPECT_EQ(dump_tree(statements[0]), "OP_ASSIGN @3:5 stop\n  x\n  1");

    // Lines stay right after a function body and an if without else.
    fresh_compiler();
    std::string multi = "function f(a) {\n  return a;\n}\nif (a) b();\n\nx = 1;";
    statements.clear();
    compile_module("t.js", multi.data(), statements);
    ASSERT_EQ(statements.size(), 3u);
    EXPECT_EQ(cell_as<InstrCell>(statements[2])->position, (3u << 16) | 6);

    Raised r = catch_error([] {
        std::string t = "a = 1;\n/*\n\n*/ b = ;";
        std::vector<Value> s;
        compile_module("m/x.js", t.data(), s);
    });
    EXPECT_EQ(r.report, "PARSE ERROR 1125 (m/x.js:4) : フォーマット不正 'b = ;'");
}

TEST(StatementShapes, ScopeLists) {
    fresh_compiler();
    std::string text = "var a; function f(p) { var l, m; var l; } var a;";
    std::vector<Value> statements;
    compile_module("t.js", text.data(), statements);
    ASSERT_EQ(g_compiler.globals.size(), 2u);
    EXPECT_STREQ(symbol_name(g_compiler.globals[0]), "a");
    EXPECT_STREQ(symbol_name(g_compiler.globals[1]), "f");
    EXPECT_TRUE(g_compiler.locals.empty());
    const auto* fn = cell_as<FunctionCell>(Value(instr_operands(statements[1])[1]));
    EXPECT_EQ(fn->param_count, 1);
    EXPECT_EQ(fn->local_count, 2);

    // A let or const beside a global of the same name is a duplicate; a new
    // name is not, and a fresh compiler knows no globals.
    for (const char* bad : {"var a; let a = 1;", "function g() {} const g = 2;", "for (var k of []) {} let k;"}) {
        fresh_compiler();
        std::string t = bad;
        std::vector<Value> s;
        Raised r = catch_error([&] { compile_module("t.js", t.data(), s); });
        EXPECT_EQ(r.code, 1035) << bad << ": " << r.report;
    }
    fresh_compiler();
    std::string ok = "let a = 1; var b; let c;";
    std::vector<Value> s;
    compile_module("t.js", ok.data(), s);
    EXPECT_EQ(g_compiler.globals.size(), 1u);
}

}  // namespace
}  // namespace koru::test
