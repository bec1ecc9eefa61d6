// Compiling patterns: accepted constructs, every error code, the stored
// nodes and the regenerated source text.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "runtime/refcount.h"
#include "runtime/symbols.h"
#include "runtime/text.h"
#include "strings/regex/nodes.h"
#include "strings/regex/regex.h"
#include "strings/regex_support.h"

namespace koru {
namespace {

using testing::compile_code;
using testing::expect_raise;
class RegexCompile : public testing::Fresh {};

TEST_F(RegexCompile, AcceptsAndRejects) {
    struct Case {
        const char* pattern;
        const char* flags;
        const char* code;
    } cases[] = {
        {"ab*", "", "ok"},
        {"(ab)*", "", "4660"},
        {"(ab)+", "", "4670"},
        {"(ab)?", "", "4680"},
        {"(?:ab)*", "", "ok"},
        {"a{0,2}", "", "4755"},
        {"a{0}", "", "4755"},
        {"a{,3}", "", "4750"},
        {"a{}", "", "4750"},
        {"a{x}", "", "4760"},
        {"a{2", "", "4760"},
        {"a{2,x}", "", "4770"},
        {"a{2,3", "", "4770"},
        {"a{2,}", "", "ok"},
        {"a{2,5}?", "", "ok"},
        {"a{3}", "", "ok"},
        {"a{3}?", "", "ok"},
        {"a{5,2}", "", "4765"},
        {"a{2,70000}", "", "4765"},
        {"a{70000}", "", "4765"},
        {"x^", "", "4685"},
        {"a$b", "", "4687"},
        {"a$|b", "", "ok"},
        {"^a|^b$", "", "ok"},
        {"[z-a]", "", "4720"},
        {"[a-a]", "", "4720"},
        {"[]", "", "4600"},
        {"[^]", "", "ok"},
        {"[", "", "4775"},
        {"[^", "", "4775"},
        {"[ab", "", "4780"},
        {"[a\\", "", "4780"},
        {"[\\q]", "", "4745"},
        {"[\\.]", "", "4745"},
        {"[\\d-]", "", "ok"},
        {"[\\x41-\\x5A\\u{62}]", "", "ok"},
        {"[\\xZ1]", "", "4690"},
        {"(a)\\1", "", "ok"},
        {"\\1(a)", "", "4705"},
        {"(a)|\\1", "", "4705"},
        {"((a))\\2", "", "4705"},
        {"a", "q", "4795"},
        {"a", "gimsuy", "ok"},
        {"a**", "", "4655"},
        {"a*+", "", "4655"},
        {"a+*", "", "4665"},
        {"a+?+", "", "4665"},
        {"a?*", "", "4675"},
        {"*a", "", "4605"},
        {"{2}", "", "4605"},
        {"a{2}*", "", "4610"},
        {"a{2}{3}", "", "4610"},
        {"a*??", "", "4610"},
        {"\\b*", "", "4660"},
        {"\\B+", "", "4670"},
        {"(?<=a)*b", "", "4660"},
        {"(?<=a){2}b", "", "4605"},
        {"a(?=b)*", "", "4645"},
        {"a(?!b){2}", "", "4645"},
        {"a(?<=b)", "", "4650"},
        {"(?<=b)|a", "", "4650"},
        {"(?=b)a", "", "ok"},
        {"(?<=a)(?=b)c(?=d)(?!e)", "", "ok"},
        {"\\q", "", "4715"},
        {"\\*", "", "4715"},
        {"a\\", "", "4710"},
        {"\\xZZ", "", "4690"},
        {"\\x4", "", "4690"},
        {"\\u12", "", "4695"},
        {"\\u{12345}", "", "4695"},
        {"\\u{}", "", "4695"},
        {"\\ca", "", "4700"},
        {"\\cJ\\0\\f\\u{41}\\u0041", "", "ok"},
        {"(a", "", "4640"},
        {"(?x)", "", "4640"},
        {"(?<1a>x)", "", "4625"},
        {"(?<a-b>x)", "", "4625"},
        {"(?<>x)", "", "4625"},
        {"(?<ab)", "", "4635"},
        {"|a", "", "4615"},
        {"a||b", "", "4615"},
        {"a|", "", "4785"},
        {"()", "", "4790"},
        {"a(?:)", "", "4790"},
        {"a(?=)", "", "4790"},
        {"a)b]c}", "", "ok"},
        {"😀", "", "4800"},
        {"[\\u0000-\\uffff]", "", "4810"},
    };
    for (const Case& c : cases) EXPECT_EQ(compile_code(c.pattern, c.flags), c.code) << c.pattern << " /" << c.flags;
}

TEST_F(RegexCompile, GroupNameLimit) {
    std::string ok = "(?<" + std::string(200, 'n') + ">x)";
    std::string long_name = "(?<" + std::string(201, 'n') + ">x)";
    EXPECT_EQ(compile_code(ok.c_str()), "ok");
    EXPECT_EQ(compile_code(long_name.c_str()), "4630");
}

TEST_F(RegexCompile, NestingAndGroupLimits) {
    std::string deep = std::string(300, '(') + "a" + std::string(300, ')');
    EXPECT_EQ(compile_code(deep.c_str()), "4810");
    std::string groups;
    for (int k = 0; k < 256; ++k) groups += "(a)";
    EXPECT_EQ(compile_code(groups.c_str()), "4810");
    EXPECT_EQ(compile_code(groups.substr(3).c_str()), "ok");
}

TEST_F(RegexCompile, MessagesAreExact) {
    auto r = expect_raise([] { regexp_create("a**", "", RaiseAs::Runtime); });
    EXPECT_NE(r.message.find("'a**'のフォーマット不正 (*)"), std::string::npos) << r.message;
    r = expect_raise([] { regexp_create("a", "gq", RaiseAs::Runtime); });
    EXPECT_NE(r.message.find("正規表現のオプション不正(gq)"), std::string::npos) << r.message;
    r = expect_raise([] { regexp_create("\\1(a)", "", RaiseAs::Runtime); });
    EXPECT_NE(r.message.find("正規表現のフォーマット不正 (\\0 ... \\9)"), std::string::npos) << r.message;
    r = expect_raise([] { regexp_create("[]", "", RaiseAs::Runtime); });
    EXPECT_NE(r.message.find("正規表現のフォーマット不正 ([ ])"), std::string::npos) << r.message;
    r = expect_raise([] { regexp_create("a{2}{3}", "", RaiseAs::Runtime); });
    EXPECT_NE(r.message.find("正規表現のフォーマット不正 ({3})"), std::string::npos) << r.message;
}

TEST_F(RegexCompile, ParseOrRuntimeRoutine) {
    // A literal's error is a parse error, RegExp(...)'s a runtime error: the
    // two routines report with different prefixes.
    auto parse = expect_raise([] { regexp_create("a**", "", RaiseAs::Parse); });
    auto run = expect_raise([] { regexp_create("a**", "", RaiseAs::Runtime); });
    EXPECT_EQ(parse.code, "4655");
    EXPECT_EQ(run.code, "4655");
    EXPECT_NE(parse.message, run.message);
}

TEST_F(RegexCompile, EmptyUnitsAndLiteral) {
    EXPECT_EQ(expect_raise([] { compile_regex(u"", 0, 0, RaiseAs::Runtime); }).code, "4790");
    EXPECT_EQ(compile_code(""), "4800");
    RegexLiteral lit = compile_regex_literal("a\\/b/gi;x", 9);
    EXPECT_EQ(lit.consumed, 7u);
    EXPECT_EQ(regex_flags(lit.regexp), regex::kFlagGlobal | regex::kFlagIgnoreCase);
    std::string src;
    regex_to_text(lit.regexp, src);
    EXPECT_EQ(src, "a/b");  // stored as A/B under i, written back as typed
    EXPECT_EQ(expect_raise([] { compile_regex_literal("abc", 3); }).code, "4805");
    EXPECT_EQ(expect_raise([] { compile_regex_literal("[/]/", 4); }).code, "4775");
    EXPECT_EQ(expect_raise([] { compile_regex_literal("a/gz", 4); }).code, "4795");
}

TEST_F(RegexCompile, StoredNodes) {
    using namespace regex;
    Value re = regexp_create("ab*[a-c](?<year>\\d+)", "i", RaiseAs::Runtime);
    ASSERT_FALSE(is_alternation(re));
    const SeqBlock* s = seq_block(re);
    EXPECT_EQ(s->header & 0xF, static_cast<unsigned>(Kind::RegExp));
    EXPECT_EQ(s->flags, kFlagIgnoreCase);
    EXPECT_EQ(s->last_index.get(), 0u);
    ASSERT_EQ(s->node_count, 4u);
    const Node* n = seq_nodes(s);
    const char16_t* text = seq_text(s);
    EXPECT_EQ(n[0].type, NodeType::Char);
    EXPECT_EQ(std::u16string(text + n[0].text_off, n[0].text_len), u"A");
    EXPECT_EQ(n[1].type, NodeType::Char);
    EXPECT_EQ(n[1].quant, kQuantAtLeast);
    EXPECT_EQ(n[1].min, 0u);
    EXPECT_EQ(n[1].max, kUnbounded);
    EXPECT_EQ(n[2].type, NodeType::Class);
    EXPECT_EQ(std::u16string(text + n[2].text_off, n[2].text_len), u"ABC");
    EXPECT_EQ(n[3].type, NodeType::Group);
    EXPECT_EQ(n[3].aux, 1u);
    EXPECT_EQ(symbol_name(n[3].name.get()), std::string("year"));
    EXPECT_EQ(regex_group_count(re), 1u);
    EXPECT_EQ(regex_group_name(re, 1), n[3].name.get());

    Value run = regexp_create("abc|x", "", RaiseAs::Runtime);
    ASSERT_TRUE(is_alternation(run));
    EXPECT_EQ(alt_block(run)->alt_count, 2u);
    const SeqBlock* first = seq_block(alt_item(alt_block(run), 0));
    EXPECT_EQ(first->node_count, 1u);
    EXPECT_EQ(seq_nodes(first)[0].type, NodeType::Run);
    EXPECT_EQ(seq_nodes(first)[0].text_len, 3u);
}

// Under i the nodes point at upper-cased text whatever the pattern wrote;
// the source text still reads as written.
TEST_F(RegexCompile, IgnoreCaseStoresUpperAndReadsAsWritten) {
    using namespace regex;
    Value re = regexp_create("aB[C-Dx]+", "i", RaiseAs::Runtime);
    const SeqBlock* s = seq_block(re);
    ASSERT_EQ(s->node_count, 2u);
    const Node* n = seq_nodes(s);
    const char16_t* text = seq_text(s);
    EXPECT_EQ(std::u16string(text + n[0].text_off, n[0].text_len), u"AB");
    EXPECT_EQ(std::u16string(text + n[1].text_off, n[1].text_len), u"CDX");
    struct Case {
        const char* pattern;
        const char* flags;
        const char* source;
    } cases[] = {
        {"aB[C-Dx]+", "i", "aB[CDx]+"},
        {"ABC", "i", "ABC"},
        {"abc", "i", "abc"},
        {"A|b|(?:C)+", "i", "A|b|(?:C)+"},
        {"x(?=Y)\\d", "i", "x(?=Y)\\d"},
        {"[^\\dQ]", "i", "[^\\dQ]"},
        {"\\u0041b", "i", "Ab"},
        {"aB", "", "aB"},
    };
    for (const Case& c : cases) {
        std::string out;
        regex_to_text(regexp_create(c.pattern, c.flags, RaiseAs::Runtime), out);
        EXPECT_EQ(out, c.source) << c.pattern;
    }
    // The copy never costs a pattern that fitted before its room.
    std::string wide(40000, 'A');
    std::string out;
    regex_to_text(regexp_create(wide, "i", RaiseAs::Runtime), out);
    EXPECT_EQ(out, std::string(40000, 'a'));
}

TEST_F(RegexCompile, GroupsAreNumberedInPatternOrder) {
    Value re = regexp_create("((a)(?<n>b))|(c)(?=(d))", "", RaiseAs::Runtime);
    EXPECT_EQ(regex_group_count(re), 5u);
    EXPECT_EQ(symbol_name(regex_group_name(re, 3)), std::string("n"));
    EXPECT_EQ(regex_group_name(re, 1), 0u);
}

TEST_F(RegexCompile, SourceText) {
    struct Case {
        const char* pattern;
        const char* source;
    } cases[] = {
        {"ab*c", "ab*c"},
        {"(?:ab)*c|d+?", "(?:ab)*c|d{1,}?"},
        {"[a-c\\d]x{2,3}", "[\\dabc]x{2,3}"},
        {"[^\\s\\w-]?", "[^\\w\\s-]?"},
        {"(?<y>\\d)\\1{2}", "(\\d)\\1{2}"},
        {"a(?=b)c(?!d)", "a(?=b)c(?!d)"},
        {"(?<!a)b(?<=c)d", "(?<!a)b(?<=c)d"},
        {"(?=x)y", "(?=x)y"},
        {"x{2,}?y*?z??w{3}?", "x{2,}?y{0,}?z??w{3}"},
        {"^\\bA.\\B[^]\\W\\D\\S$", "^\\bA.\\B[^]\\W\\D\\S$"},
        {"\\.\\u65e5", ".日"},
    };
    for (const Case& c : cases) {
        std::string out;
        regex_to_text(regexp_create(c.pattern, "", RaiseAs::Runtime), out);
        EXPECT_EQ(out, c.source) << c.pattern;
    }
}

TEST_F(RegexCompile, PlainFormOfARegExp) {
    std::string out;
    write_plain(regexp_create("a", "gi", RaiseAs::Runtime), out);
    EXPECT_EQ(out, "/a/ig");
    out.clear();
    write_plain(regexp_create("x|y", "smyg", RaiseAs::Runtime), out);
    EXPECT_EQ(out, "/x|y/mgys");
}

TEST_F(RegexCompile, LastIndexField) {
    for (const char* p : {"a", "a|b"}) {
        Value re = regexp_create(p, "g", RaiseAs::Runtime);
        EXPECT_EQ(regex_last_index(re), 0u);
        regex_set_last_index(re, 70000);
        EXPECT_EQ(regex_last_index(re), 70000u);
        EXPECT_EQ(regex_flags(re), regex::kFlagGlobal);
    }
}

}  // namespace
}  // namespace koru

namespace koru {
namespace {

// A RegExp dropped at run time returns every block of its tree: making and
// dropping the same pattern again and again cycles through a few places
// instead of taking new space each time.
TEST_F(RegexCompile, DroppedRegExpReturnsItsBlocks) {
    enter_run_phase();
    std::set<uint32_t> heads;
    for (int k = 0; k < 200; ++k) {
        Value re = regexp_create("a(b(?:c|d)+)(?=e)|f[gh]", "g", RaiseAs::Runtime);
        heads.insert(re.bits);
        value_drop_temp(re);
    }
    EXPECT_LE(heads.size(), 4u);
}

}  // namespace
}  // namespace koru
