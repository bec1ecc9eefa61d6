#include <cstring>
#include <string>

#include "compiler/keywords.h"
#include "compiler/source.h"
#include "fixture.h"

namespace koru::test {
namespace {

using SourceTest = CompilerTest;

std::string stripped(std::string text) {
    strip_comments(text.data());
    return std::string(text.c_str());
}

TEST_F(SourceTest, CommentRemovalKeepsStringsAndLines) {
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"a /* x */ b", "a         b"},
        {"a /* x\ny */ b", "a     \n     b"},
        {"s = \"/* no */\";", "s = \"/* no */\";"},
        {"s = '// no'; // yes\n", "s = '// no';       \n"},
        {"s = \"a\\\"/*\"; /*c*/", "s = \"a\\\"/*\";      "},
        {"s = \"a\\\\\" /*c*/", "s = \"a\\\\\"      "},
        {"x // last line", "x "},
        {"x // c\ny", "x     \ny"},
        {"/* don't */ x = 1; // ' */ y", "                           y"},
        {"`/*` /*t*/", "`/*`      "},
    };
    for (const Case& c : cases) EXPECT_EQ(stripped(c.in), c.out) << c.in;
}

TEST_F(SourceTest, BlockCommentWithLoneApostropheNeedsLaterQuote) {
    std::string text = "/* don't */ x = 1;";
    Raised r = catch_error([&] { strip_comments(text.data()); });
    EXPECT_TRUE(r.raised);
    EXPECT_EQ(r.code, 1580);
    EXPECT_EQ(r.message, "コメント不正");

    std::string open = "x = 1; /* never closed";
    r = catch_error([&] { strip_comments(open.data()); });
    EXPECT_EQ(r.code, 1580);
}

TEST_F(SourceTest, PositionsAndLines) {
    char text[] = "ab\n  cd\r\n\tx";
    begin_text(text);
    EXPECT_EQ(position_of(text), (1u << 16) | 1);
    char* p = skip_space(text + 2);
    EXPECT_EQ(p, text + 5);
    EXPECT_EQ(position_of(p), (3u << 16) | 2);
    p = skip_space(text + 7);
    EXPECT_EQ(*p, 'x');
    EXPECT_EQ(position_of(p), (2u << 16) | 3);
}

TEST_F(SourceTest, StringAwareSearch) {
    char quote = 0;
    const char* t = "a = 'x\\'y' + \"q";
    EXPECT_TRUE(in_open_string(t, t + std::strlen(t), &quote));
    EXPECT_EQ(quote, '"');
    EXPECT_FALSE(in_open_string(t, t + 11, &quote));
    EXPECT_TRUE(in_open_string(t, t + 7, &quote));
    EXPECT_EQ(quote, '\'');

    char s[] = "f(\")\", g(1), h[')']) + (2)";
    EXPECT_EQ(find_close(s + 2, ')', '('), s + 19);
    EXPECT_EQ(find_unquoted(s, ']'), s + 18);
    char none[] = "(a, \")\"";
    EXPECT_EQ(find_close(none + 1, ')', '('), nullptr);
    char escaped[] = "a\\;b;";
    EXPECT_EQ(find_unquoted(escaped, ';'), escaped + 4);
}

TEST_F(SourceTest, NamesAreInternedOnceAndLimited) {
    char a[] = "alpha+";
    char b[] = "alpha ";
    uint32_t n1 = 0, n2 = 0;
    EXPECT_EQ(read_name(a, &n1), a + 5);
    read_name(b, &n2);
    EXPECT_EQ(n1, n2);
    EXPECT_GE(n1, 53u);
    char v[] = "value";
    read_name(v, &n1);
    EXPECT_EQ(n1, static_cast<uint32_t>(SYM_value));

    std::string ok(200, 'n');
    read_name(ok.data(), &n1);
    std::string tooLong(201, 'n');
    Raised r = catch_error([&] { read_name(tooLong.data(), &n1); });
    EXPECT_EQ(r.code, 1005);
    EXPECT_EQ(r.message, "関数・変数名の長さ不正");
}

TEST_F(SourceTest, ExcerptCountsCharactersAndStopsAtLineEnd) {
    EXPECT_STREQ(excerpt("abc\r\ndef", 120), "abc");
    EXPECT_STREQ(excerpt("あいう", 2), "あい");
    std::string long_text(600, 'z');
    EXPECT_EQ(std::strlen(excerpt(long_text.c_str(), 600)), 510u);
}

TEST_F(SourceTest, KeywordRecognition) {
    struct Case {
        const char* text;
        int index;
        int consumed;
    };
    const Case cases[] = {
        {"break;", KW_BREAK, 5},        {"breakfast", KW_NONE, 0},      {"return1", KW_RETURN, 6},
        {"return_x", KW_NONE, 0},       {"select2", KW_SELECT, 6},      {"selectHash(", KW_SELECT_HASH, 10},
        {"sel(", KW_NONE, 0},           {"if(", KW_IF, 2},              {"if2", KW_NONE, 0},
        {"ifx", KW_NONE, 0},            {"try{", KW_TRY, 3},            {"ry", KW_NONE, 0},
        {"sql_aggregate(", KW_SQL_AGGREGATE, 13}, {"redis_get(", 9, 9}, {"mongo_find(", KW_MONGO_FIRST, 10},
        {"mongoc_write_command(", KW_MONGO_LAST, 20}, {"function(", KW_FUNCTION, 8},
        {"functions", KW_NONE, 0},      {"decodeURIComponent(", KW_DECODE_URI_COMPONENT, 18},
        {"alertToFront(", KW_ALERT_TO_FRONT, 12}, {"x", KW_NONE, 0}, {"parseFloat(", KW_PARSE_FLOAT, 10},
        {"continue;", KW_CONTINUE, 8},  {"const x", KW_CONST, 5},       {"do{", KW_DO, 2},
    };
    for (const Case& c : cases) {
        const char* p = c.text;
        EXPECT_EQ(keyword(&p), c.index) << c.text;
        EXPECT_EQ(p - c.text, c.consumed) << c.text;
    }
}

// Every keyword index has the word that the recogniser reads back as that
// index; a few are pinned by name.
TEST_F(SourceTest, KeywordWordsReadBack) {
    for (int k = 0; k < kKeywordCount; ++k) {
        std::string word(keyword_word(k));
        ASSERT_FALSE(word.empty()) << k;
        std::string text = word + "(";
        const char* p = text.c_str();
        EXPECT_EQ(keyword(&p), k) << word;
        EXPECT_EQ(p - text.c_str(), static_cast<long>(word.size())) << word;
    }
    EXPECT_EQ(keyword_word(KW_OPEN_DB), "openDb");
    EXPECT_EQ(keyword_word(KW_SELECT_HASH_TO_FRONT), "selectHashToFront");
    EXPECT_EQ(keyword_word(KW_CLOSE_DB), "closeDb");
    EXPECT_EQ(keyword_word(KW_NONE), "");
    EXPECT_EQ(keyword_word(kKeywordCount), "");
}

TEST_F(SourceTest, Utf16Conversion) {
    uint16_t units[16];
    const char* s = "aé日";
    size_t n = utf8_to_utf16(s, std::strlen(s), units, 16);
    ASSERT_EQ(n, 3u);
    EXPECT_EQ(units[1], 0xE9);
    EXPECT_EQ(units[2], 0x65E5);
    char back[16];
    EXPECT_EQ(utf16_to_utf8(units, n, back, sizeof back), std::strlen(s));
    EXPECT_STREQ(back, s);

    const char* emoji = "\xF0\x9F\x98\x80";
    Raised r = catch_error([&] { utf8_to_utf16(emoji, 4, units, 16); });
    EXPECT_EQ(r.code, 1595);
    EXPECT_EQ(r.message, "MultiToWide 文字の変換エラー(サロゲート文字)");

    const char* cut = "a\xE6\x97";  // a three-byte sequence cut short
    n = utf8_to_utf16(cut, 3, units, 16);
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(units[1], 0xFFFD);
}

}  // namespace
}  // namespace koru::test
