#include "compiler/module.h"
#include "shapes.h"

namespace koru::test {
namespace {

TEST(ExpressionShapes, GroupingAndOperators) {
    const ShapeCase cases[] = {
        // + chains are built before -, * before / before %.
        {"a - b + c;", "(OP_SUB a (OP_ADD b c))"},
        {"a / b * c;", "(OP_DIV a (OP_MUL b c))"},
        {"a + b - c;", "(OP_SUB (OP_ADD a b) c)"},
        {"a + b + c + d;", "(OP_ADD a b c d)"},
        {"a * b / c;", "(OP_DIV (OP_MUL a b) c)"},
        {"a + b * c;", "(OP_ADD a (OP_MUL b c))"},
        {"2 ** 3 ** 2;", "(OP_POW 2 (OP_POW 3 2))"},
        {"a = b += c;", "(OP_ASSIGN a (OP_ADD_ASSIGN b c))"},
        {"x ? y : z ? u : v;", "(OP_COND x y (OP_COND z u v))"},
        {"a && b && c || d;", "(OP_OR (OP_AND a b c) d)"},
        {"a & b & c | d ^ e;", "(OP_BIT_OR (OP_BIT_AND a b c) (OP_BIT_XOR d e))"},
        {"a < b == c > d;", "(OP_EQ (OP_LT a b) (OP_GT c d))"},
        {"a << 1 >> 2 >>> 3;", "(OP_USHR (OP_SHR (OP_SHL a 1) 2) 3)"},
        {"a === b !== c;", "(OP_STRICT_NE (OP_STRICT_EQ a b) c)"},
        {"-5;", "-5"},
        {"a * -5;", "(OP_MUL a -5)"},
        {"0 - x;", "(OP_SUB 0 x)"},
        {"i++;", "(OP_POST_INC i)"},
        {"--i;", "(OP_PRE_DEC i)"},
        {"!a && ~b;", "(OP_AND (OP_NOT a) (OP_BIT_NOT b))"},
        {"typeof x == \"string\";", "(OP_EQ (OP_TYPEOF x) \"string\")"},
        {"x instanceof Date;", "(OP_INSTANCEOF x Date)"},
        {"a.b.c(1, 2)[k];", "(OP_INDEX (OP_CALL (OP_MEMBER (OP_MEMBER a b) c) (args 1 2)) k)"},
        {"f(a b);", "(OP_CALL f (args a b))"},
        {"f();", "(OP_CALL f (args))"},
        {"(a + b) * c;", "(OP_MUL (OP_SEQUENCE (OP_ADD a b)) c)"},
        {"(1, 2);", "(OP_SEQUENCE 1 2)"},
        {"new Date;", "(OP_NEW Date (args))"},
        {"new Foo(1, 2).x;", "(OP_MEMBER (OP_NEW Foo (args 1 2)) x)"},
        {"new Hash(1, 2, 3);", "(OP_NEW Hash (args 1 2 3))"},
        {"Hash(1, 2);", "(OP_HASH_CALL 1 2)"},
        {"Integer(s) + Float();", "(OP_ADD (OP_INTEGER s) (OP_FLOAT))"},
        {"Array(1, 2);", "(OP_ARRAY 1 2)"},
        {"Number(x);", "(OP_CALL Number (args x))"},
        {"x = parseInt(s, 10) + 1;", "(OP_ASSIGN x (OP_ADD (OP_PARSE_INT s 10) 1))"},
        {"a %= 2;", "(OP_MOD_ASSIGN a 2)"},
        {"o.length;", "(OP_MEMBER o length)"},
        {"x = /a+b/g;", "(OP_ASSIGN x /a+b/g)"},
        {"a / b;", "(OP_DIV a b)"},
    };
    for (const ShapeCase& c : cases) EXPECT_EQ(shape(c.source), c.expected) << c.source;
}

TEST(ExpressionShapes, Errors) {
    const ShapeCase cases[] = {
        {"-x;", "ERROR 1125 フォーマット不正 '-x;'"},
        {"+x;", "ERROR 1125 フォーマット不正 '+x;'"},
        {"a +;", "ERROR 1125 フォーマット不正 'a +;'"},
        {"x = !!y;", "ERROR 1125 フォーマット不正 'x = !!y;'"},
        {"new Error;", "ERROR 1020 引数の個数不正 'new Error;'"},
        {"Integer(1, 2);", "ERROR 1020 引数の個数不正 'Integer(1, 2);'"},
        {"Array.from(x);", "ERROR 1015 ステートメント不正(Array.from(x);)"},
        {"new Date.x;", "ERROR 1015 ステートメント不正(new Date.x;)"},
        {"x instanceof 3;", "ERROR 1015 ステートメント不正(x instanceof 3;)"},
        {"a # b;", "ERROR 1015 ステートメント不正(a # b;)"},
        {"a[1 2];", "ERROR 1015 ステートメント不正(a[1 2];)"},
        {"f(a;", "ERROR 1130 ステートメント不正 (')'なし) (f(a;"},
        {"f(a; b);", "ERROR 1135 ステートメント不正 ('b') in (f(a; b);"},
        {"a b;", "ERROR 1000 ステートメント不正 'a b;'"},
        {"a = 1\nb = 2", "ERROR 1000 ステートメント不正 'a = 1'"},
        {"x = 1.2.3;", "ERROR 1405 数字のフォーマット不正 '1.2.3;'"},
        {"x = 0x;", "ERROR 1405 数字のフォーマット不正 '0x;'"},
        {"x = 12ab;", "ERROR 1405 数字のフォーマット不正 '12ab;'"},
        {"x = /ab;", "ERROR 4805 正規表現のフォーマット不正 (/)"},
    };
    for (const ShapeCase& c : cases) EXPECT_EQ(shape(c.source), c.expected) << c.source;
}

TEST(ExpressionShapes, ArgumentAndTokenLimits) {
    std::string args;
    for (int i = 0; i < 255; ++i) {
        if (i) args += ',';
        args += std::to_string(i);
    }
    // Built by appending: GCC 12 at -O3 takes "literal" + string for an
    // overlapping copy (-Wrestrict).
    auto call = [&](const char* tail) { return std::string("f(").append(args).append(tail); };
    EXPECT_EQ(shape(call(");")).rfind("(OP_CALL f (args 0 1 2", 0), 0u);
    EXPECT_EQ(shape(call(",255);")), std::string("ERROR 1123 引数の数不正 '").append(args, 0, 120).append("'"));

    std::string tokens = "x = 1";
    for (int i = 0; i < 520; ++i) tokens += "+1";
    EXPECT_EQ(shape(tokens + ";").substr(0, 10), "ERROR 1120");

    // A chain longer than one cell holds folds through nested cells.
    std::string chain = "a";
    for (int i = 0; i < 300; ++i) chain += "+b";
    std::string dumped = shape(chain + ";");
    ASSERT_EQ(dumped.rfind("(OP_ADD (OP_ADD a b", 0), 0u) << dumped.substr(0, 40);
    size_t outer_operands = 0;
    for (size_t i = dumped.rfind(')', dumped.size() - 2); i < dumped.size(); ++i) outer_operands += dumped[i] == 'b';
    EXPECT_EQ(outer_operands, 301u - 254u);
}

TEST(ExpressionShapes, DeepNestingIsAnErrorNotACrash) {
    std::string deep(5000, '(');
    EXPECT_EQ(shape("x = " + deep + "1" + std::string(5000, ')') + ";").substr(0, 10), "ERROR 1125");
}

}  // namespace
}  // namespace koru::test
