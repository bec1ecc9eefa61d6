#include "compiler/emit.h"
#include "compiler/statements.h"
#include "fixture.h"
#include "interp/evaluate.h"
#include "interp/handlers.h"

namespace koru::test {
namespace {

TEST_F(InterpTest, IndexAndMemberAccess) {
    check_cases({
        {"var a = [1, 2, 3]; a[5] = 9; var r = [a.length, a[5], a[1]];", "[4,9,2]"},
        {"var a = [1, 2, 3]; a[5] = 9; var r = a;", "[0:1,1:2,2:3,5:9]"},
        {"var a = [1, 2]; a[2] = 3; var r = a;", "[1,2,3]"},
        {"var s = 'あい'; var r = [s[1], s[2], s.length];", "[\"い\",undefined,6]"},
        {"var h = {a: 1}; var r = [h.b, h.length]; ", "[undefined,1]"},
        {"var h = {a: 1}; h['b'] = 2; var r = [h.b, h['a']];", "[2,1]"},
        {"var a = [[1, 2], [3]]; a[0][1] = 5; var r = a;", "[[1,5],[3]]"},
        {"var a = [1]; a[3] = 1; a['k'] = 2; var r = [a.length, a['k'], a[3]];", "[3,2,1]"},
        {"var r = [10, 20][1];", "20"},
        {"var x = 1; var r = [x, 2][0];", "1"},
        {"var e = new Error('msg', 'C1'); var r = [e.name, e.message];", "[\"C1\",\"msg\"]"},
        {"var r = null.length;", "4"},
    });
    check_errors({
        {"var a = [1]; var r = a[-1];", 2025},
        {"var a = [1]; var r = a[1.5];", 2032},
        {"var n = 5; var r = n[0];", 2030},
        {"var n = 5; var r = n['x'];", 2023},
        {"var n = 5; var r = n.x;", 2035},
        {"var e = new Error('m'); var r = e.other;", 2035},
    });
}

TEST_F(InterpTest, ReadingAMissingPropertyDoesNotAddIt) {
    Outcome o = run_script("var h = {}; var x = h.a; var y = h['b']; var r = h;");
    EXPECT_FALSE(o.error) << o.message;
    EXPECT_EQ(global_text("r"), "{}");
}

TEST_F(InterpTest, LiteralsAreSharedUnlessTheyHoldExpressions) {
    check_cases({
        // A constant literal is one object: a change through one evaluation shows in the next.
        {"function f() { return [1, 2]; } var a = f(); a[0] = 9; var r = f();", "[9,2]"},
        // A literal with an expression is a fresh copy each time.
        {"var x = 1; function f() { return [x, 2]; } var a = f(); a[0] = 9; var r = f();", "[1,2]"},
        {"var x = 5; var r = {a: {b: [x]}};", "{'a':{'b':[5]}}"},
    });
}

TEST_F(InterpTest, Templates) {
    check_cases({
        {"var x = 2; var r = `a${x + 1}b${'c'}`;", "\"a3bc\""},
        {"var r = `p\\${x}`;", "\"p\\${x}\""},
        {"var a = [1, 'q']; var r = `${a}`;", "\"[1,q]\""},
        {"var r = `no braces`;", "\"no braces\""},
    });
    check_errors({
        {"var r = `a${x`;", 2010},
    });
}

// A template's substitutions are compiled once and kept: each expansion
// must still see the scope it runs in, a template made anew in the cell of
// a freed one must run its own text, and code that lets go of its own
// template while it runs must not pull the code from under itself.
TEST_F(InterpTest, TemplatesKeptBetweenExpansions) {
    check_cases({
        // The same template in a loop and in calls with other arguments.
        {"var r = ''; for (var i = 0; i < 4; i++) r = r + `${i * i}.`;", "\"0.1.4.9.\""},
        {"function f(a, b) { return `${a}-${b}`; } var r = f(1, 2) + f('x', [3]);", "\"1-2x-[3]\""},
        // Templates compiled at run time die with eval's code; the next one
        // lands in the freed cells with another text.
        {"var r = ''; for (var i = 0; i < 5; i++) r = r + eval('`${' + i + ' * 10}`') + ',';", "\"0,10,20,30,40,\""},
        {"var r = ''; for (var i = 0; i < 3; i++) r = r + eval('`<${\\'' + 'abc'.charAt(i) + '\\'}>`');", "\"<a><b><c>\""},
        // The function holding the template is dropped by its own substitution.
        {"function f() { return `${(f = 0, 'gone')}`; } var r = f() + f;", "\"gone0\""},
        // A literal that the substitution returns outlives the expansion.
        {"function f() { return `${'lit'}`; } var r = f() + f();", "\"litlit\""},
    });
    // The same failing substitution reports the same error, position
    // included, every time it runs.
    fresh_process();
    Outcome o = run_script(
        "var seen = '';\n"
        "function f(n) {\n"
        "  return `${n.a.b}`;\n"
        "}\n"
        "for (var i = 0; i < 3; i++) { try { f({}); } catch (e) { seen = seen + e.message + '|'; } }\n");
    ASSERT_FALSE(o.error) << o.message;
    std::string seen = global_text("seen");
    size_t bar = seen.find('|');
    ASSERT_NE(bar, std::string::npos) << seen;
    std::string first = seen.substr(1, bar - 1);
    EXPECT_NE(first.find(":3:"), std::string::npos) << first;
    EXPECT_EQ(seen, "\"" + first + "|" + first + "|" + first + "|\"") << seen;
}

TEST_F(InterpTest, UnevaluableValuesAndUnusedOpcodes) {
    EXPECT_EQ(outcome_of([] {
                  try {
                      evaluate(Value::int_key(7));
                  } catch (const Unwind& u) {
                      return u.value;
                  }
                  return kUndefinedValue;
              }())
                  .code,
              2015);
    for (unsigned op : {195u, 210u, 228u}) {
        Value instr = make_instruction(static_cast<Op>(op), 0);
        Outcome o;
        try {
            evaluate(instr);
        } catch (const Unwind& u) {
            o = outcome_of(u.value);
        }
        EXPECT_EQ(o.code, 1860) << op;
    }
}

// A statement this build has no handler for is named in the error as the
// script wrote it, never by its opcode.  Every statement has one now, so
// the database statements are given the refusing handler for the test.
TEST_F(InterpTest, StatementWithoutHandlerIsNamedAsWritten) {
    struct Case {
        const char* script;
        Op op;
        const char* word;
    } cases[] = {
        {"var c = 1; var r = sql_aggregate(c, 'x', 1);", Op::OP_SQL_AGGREGATE, "sql_aggregate"},
        {"var r = record_hash(1, 2);", Op::OP_RECORD_HASH, "record_hash"},
        {"var r = record_map(1, 2, 3);", Op::OP_RECORD_MAP, "record_map"},
    };
    for (const Case& c : cases) {
        fresh_process();
        set_handler(op_byte(c.op), h_unavailable);
        Outcome o = run_script(c.script);
        set_handler(op_byte(c.op), nullptr);
        EXPECT_EQ(o.code, 2015) << c.script;
        EXPECT_EQ(o.message, std::string("評価式不正 '") + c.word + "'") << c.script;
    }
    EXPECT_EQ(statement_word(op_byte(Op::OP_SELECT_INTO)), "selectInto");
    EXPECT_EQ(statement_word(op_byte(Op::OP_ADD)), "");
}

// The database statements that have handlers check their operands before
// anything reaches a driver.
TEST_F(InterpTest, DatabaseStatementsCheckTheirOperandsFirst) {
    struct Case {
        const char* script;
        int code;
    } cases[] = {
        {"openDb('dsn', 'u', 'p');", 1460},
        {"var c = 1; closeDb(c);", 1365},
        {"var c = 1; var r = select(c, 'x');", 1255},
        {"var c = 1; var r = selectHash(c, 'x');", 1255},
        {"var c = 1; var r = selectExists(c, 'x');", 1255},
        {"var c = 1, v; var r = selectInto(c, 'x', v);", 1255},
        {"var c = 1; var r = selectToFront(c, 'x', 1);", 1255},
        {"var c = 1; var r = selectHashToFront(c, 'x', 1);", 1255},
        {"var c = 1; execute(c, 'x');", 1255},
        {"var c = 1; record_map(c, 'x', 'y;');", 1255},
        {"var c = 1; var r = record_hash(c, 'x');", 1255},
        {"var c = 1; var r = sql_aggregate(c, 'x', 1);", 1255},
    };
    for (const Case& c : cases) {
        fresh_process();
        Outcome o = run_script(c.script);
        EXPECT_EQ(o.code, c.code) << c.script;
    }
}

TEST_F(InterpTest, HashWrittenAsACallMakesAnEmptyHash) {
    Outcome o = run_script("var n = 0;");
    ASSERT_FALSE(o.error);
    // Hash(1, n = 5): the arguments run and are dropped.
    Value set_n = make_instruction(Op::OP_ASSIGN, Value::symbol(static_cast<uint32_t>(symbol_lookup("n", 1))),
                                   make_int(5), 0);
    Value args[2] = {make_int(1), set_n};
    Value call = make_instruction(Op::OP_HASH_CALL, 2, args, 0);
    Value h = evaluate(call);
    EXPECT_EQ(h.kind(), Kind::Hash);
    EXPECT_EQ(hash_count(h), 0u);
    EXPECT_EQ(global_text("n"), "5");
    value_drop_temp(h);
}

TEST_F(InterpTest, DebugEvaluationRefusesStateChanges) {
    Value assign = make_instruction(Op::OP_VAR, Value::symbol(60), 0);
    Value add = make_instruction(Op::OP_ADD, make_int(1), make_int(2), 0);
    g_errors.debug_eval = true;
    Value sum = kUndefinedValue;
    int code = 0;
    try {
        sum = evaluate(add);
        evaluate(assign);
    } catch (const Unwind& u) {
        code = outcome_of(u.value).code;
    }
    g_errors.debug_eval = false;
    EXPECT_EQ(int_value(sum), 3);
    EXPECT_EQ(code, 1860);
}

TEST_F(InterpTest, NewAndCopies) {
    check_cases({
        {"var r = new Array(3);", "[3]"},
        {"var a = [1, [2]]; var b = new Array(a); b[0][1][0] = 9; var r = [a, b];", "[[1,[2]],[[1,[9]]]]"},
        {"var r = Array(1, 's', 2.5);", "[1,\"s\",2.5]"},
        {"function Foo(x) { this.x = x; } var o = new Foo(4); var r = [o.x, typeof o];", "[4,\"Foo\"]"},
        {"function Foo() { this.x = 1; return [7]; } var r = new Foo();", "[7]"},
        {"function Foo() { this.x = 1; return; } var r = new Foo();", "{'x':1}"},
        {"var r = [new Number('12'), new Integer('0x1F'), new Float(3), new String(5), new Number()];",
         "[12,31,3.0,\"5\",0]"},
        {"var r = [Number('-1.5'), Number('.5'), Number('1e2')];", "[-1.5,0.5,100.0]"},
        {"var r = [String(1.5), String([1, 'a']), String()];", "[\"1.5\",\"[1,\"a\"]\",\"\"]"},
    });
    check_errors({
        {"function f() {} var r = new Array(f);", 1420},
        {"var r = new Hash();", 2370},
        {"var r = Number(' 1');", 2335},
        {"var Foo = 3; var r = new Foo();", 2370},
    });
}

TEST_F(InterpTest, GlobalConversions) {
    const std::string long_eval = "var r = eval('" + std::string(254, ' ') + "12');";
    check_cases({
        {"var r = [Number('12'), Number('-1.5'), Number('0x10'), Number('+7')];", "[12,-1.5,16,7]"},
        {"var r = [Integer('0x1F'), Integer('2.5'), Integer('-2.5'), Integer('12px'), Integer(-2.7)];",
         "[31,2,-2.5,12,-2]"},
        {"var r = [Float(3), Float(2.5), Float('1.5e2'), Float('7')];", "[3.0,2.0,150.0,7.0]"},
        {"var r = [Integer(), Float()];", "[0,0.0]"},
        {"var r = [decodeURI('%2F%41'), decodeURIComponent('%2F%41'), decodeURI('ab%4')];",
         "[\"%2FA\",\"/A\",\"ab%4\"]"},
        {"var r = [encodeURIComponent('あ'), encodeURI('a b/c'), encodeURIComponent('a b/c')];",
         "[\"%E3%81%82\",\"a%20b/c\",\"a%20b%2Fc\"]"},
        {"var r = eval('1;2');", "2"},
        {"var r = eval('');", "\"\""},
        {"function f() { eval('var q = 3'); return q; } var r = f();", "3"},
    });
    check_errors({
        {"var r = Number('12px');", 2335},
        {"var r = Number([1]);", 2335},
        {"var r = Integer([1]);", 1410},
        {"var r = Float([1]);", 1415},
        {"var r = Integer('1..2');", 1405},
        {"var r = decodeURI('%G1');", 1510},
        {"var r = decodeURI(1);", 2340},
        {"var r = encodeURI(1);", 2345},
        {"var r = eval(1);", 2350},
        {long_eval.c_str(), 2357},
    });
}

TEST_F(InterpTest, EncodingAPlainTextReturnsTheSameString) {
    Outcome o = run_script("var s = 'abc'; var r = encodeURI(s) === s; var t = encodeURI(s);");
    EXPECT_FALSE(o.error);
    int64_t s = global_find(static_cast<uint32_t>(symbol_lookup("s", 1)));
    int64_t t = global_find(static_cast<uint32_t>(symbol_lookup("t", 1)));
    EXPECT_EQ(g_globals.slots[s].value, g_globals.slots[t].value);
}

TEST_F(InterpTest, ConsoleWritesToTheJournal) {
    Outcome o = run_script("console.log('a', 1, [2]); console.error(null);");
    EXPECT_FALSE(o.error) << o.message;
    EXPECT_EQ(journal_buffer(), "(L) \"a\"1[2]\n(E) null\n");
    fresh_process();
    o = run_script("console.warn(1);");
    EXPECT_EQ(o.code, 2140);
}

TEST_F(InterpTest, UnknownMethodNamesRaiseTheirFamilysError) {
    check_errors({
        {"var r = Math.sqrt(1);", 2115},
        {"var r = Object.values({});", 2100},
        {"var r = 'abc'.noSuchMethod();", 2820},
        {"var r = [1].noSuchMethod(2);", 2570},
        {"var r = {}.noSuchMethod('a');", 2347},
        {"var r = (5).foo();", 2145},
    });
    check_cases({
        {"var r = [(5).toString(), (1.5).toString(), null.toString()];", "[\"5\",\"1.5\",\"null\"]"},
        {"var h = {f: function (a) { return a + 1; }}; var r = h.f(4);", "5"},
    });
}

}  // namespace

// An operand read from a variable is still needed after the later operands
// have run; a later operand that replaces the variable (and makes enough
// new values to take every freed cell and text) must not change it.
TEST_F(InterpTest, OperandsOutliveTheCodeOfLaterOperands) {
    const std::string churn =
        "var junk = []; function churn() { for (var q = 0; q < 700; q++) junk.push(q * 7, 'text number ' + q); }\n";
    check_cases(churn, {
        {"var x = 1000 * 1; function f() { x = 5 * 1; churn(); return 1; } var r = x + f();", "1001"},
        {"var x = 1000 * 1; function f() { x = 5 * 1; churn(); return 1; } var r = x * (f() + 1);", "2000"},
        {"var x = 1000 * 1; function f() { x = 5 * 1; churn(); return 1; } var r = x < f();", "false"},
        {"var s = 'ab' + 'cd'; function g() { s = 'x'; churn(); return '!'; } var r = s + g();",
         "\"abcd!\""},
        {"var s = 'ab' + 'cd'; function g() { s = 'x'; churn(); return 'abcd'; } var r = s === g();",
         "true"},
        {"var x = 1000 * 1; function f() { x = 5 * 1; churn(); return 1; } function h(a, b) { return a + b; }"
                 " var r = h(x, f());",
         "1001"},
        {"var x = 1000 * 1; function f() { x = 5 * 1; churn(); return 1; } var r = [x, f()].join('-');",
         "\"1000-1\""},
        {"var a = ['p' + 'q', 'r']; function f() { a = null; churn(); return 0; } var r = a[f()];", "\"pq\""},
        {"var x = 'v' + 1; var b = [0]; function f() { x = null; churn(); return 0; } b[f()] = x; var r = b[0];",
         "\"v1\""},
        {"var x = 7 * 1; function f() { x = 0; churn(); return 7; } var r = 'no';"
                 " switch (x) { case f(): r = 'yes'; }",
         "\"yes\""},
        {"var a = [3 * 1, 1 * 1, 2 * 1]; var r = a.sort(function (p, q) { a = null; churn(); return p - q; })"
                 ".join(',');",
         "\"1,2,3\""},
        {"var x = 1000 * 1; function f() { x = 5 * 1; churn(); return 1; } var r = x + `${f()}`;", "\"10001\""},
        // The arguments of a method are read before its receiver.
        {"var x = 'v' + 1; var out = []; function g() { x = null; churn(); return out; } g().push(x); var r = out[0];",
         "\"v1\""},
    });
}

}  // namespace koru::test
