// Character counting passes over runs of ASCII bytes eight at a time; it
// must agree with counting one character after another everywhere: at the
// edges of the runs, inside multi-byte sequences, at a NUL and at a
// sequence cut off by the end.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "strings/utf8_chars.h"

namespace koru {
namespace {

// Character by character, as the methods define it.
size_t next_char(std::string_view s, size_t at) {
    size_t w = lead_length(static_cast<uint8_t>(s[at]));
    return w > s.size() - at ? s.size() : at + w;
}
std::string_view up_to_nul(std::string_view s) { return s.substr(0, s.find('\0')); }

size_t count_slowly(std::string_view s) {
    s = up_to_nul(s);
    size_t n = 0;
    for (size_t at = 0; at < s.size(); at = next_char(s, at)) ++n;
    return n;
}
size_t offset_slowly(std::string_view s, size_t n) {
    s = up_to_nul(s);
    size_t at = 0;
    for (size_t i = 0; i < n && at < s.size(); ++i) at = next_char(s, at);
    return at;
}
size_t index_slowly(std::string_view s, size_t byte_offset) {
    s = up_to_nul(s);
    size_t n = 0;
    for (size_t at = 0; at < s.size() && at < byte_offset; at = next_char(s, at)) ++n;
    return n;
}

TEST(Utf8Chars, AsciiRunsCountAsCharacterByCharacter) {
    const std::vector<std::string> texts = {
        "",
        "short",
        "exactly8",
        "sixteen bytes!!!",
        "The quick brown fox jumps over the lazy dog, twice over the lazy dog",
        "abcdefg\xC3\xA9hijklmnopqrstuvwxyz",                   // two bytes at offset 7
        "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E and then ascii text again",
        "ascii then cut \xE6\x97",                               // cut off by the end
        "stray \x80\x80\x80 continuation bytes and more ascii",
        std::string("before a nul\0after the nul, ignored", 36),
        "mixed \xF0\x9F\x98\x80 four \xF8\x88\x80\x80\x80 five \xFC\x84\x80\x80\x80\x80 six bytes....",
        "1234567\xE3\x81\x82" "1234567\xE3\x81\x82" "12345678",
    };
    for (const std::string& t : texts) {
        std::string_view s = t;
        EXPECT_EQ(char_count(s), count_slowly(s)) << t;
        for (size_t n = 0; n <= s.size() + 2; ++n) EXPECT_EQ(char_offset(s, n), offset_slowly(s, n)) << t << " n=" << n;
        for (size_t b = 0; b <= s.size() + 2; ++b) EXPECT_EQ(char_index(s, b), index_slowly(s, b)) << t << " b=" << b;
        for (size_t n = 0; n <= s.size() + 2; ++n) {
            CharPrefix p = char_prefix(s, n);
            EXPECT_EQ(p.bytes, offset_slowly(s, n)) << t << " n=" << n;
            EXPECT_EQ(p.chars, std::min(n, count_slowly(s))) << t << " n=" << n;
        }
    }
}

// A prefix stops at a NUL wherever it lies: in a run of ASCII bytes that
// would be passed over in one step, or inside a multi-byte sequence.
TEST(Utf8Chars, PrefixesStopAtANul) {
    const std::vector<std::string> texts = {
        std::string("abc\0defghijklmnop", 17),
        std::string("abcdefg\0hijklmnop", 17),
        std::string("abcdefgh\0ijklmnop", 17),
        std::string("ab\xE6\x97\0\xA5" "cdefghijklmnop", 21),
        std::string("\xF0\0\x98\x80", 4),
        std::string("\0abcdefghij", 11),
    };
    for (const std::string& t : texts)
        for (size_t n = 0; n <= t.size() + 2; ++n) {
            CharPrefix p = char_prefix(t, n);
            EXPECT_EQ(p.bytes, offset_slowly(t, n)) << n;
            EXPECT_EQ(p.chars, std::min(n, count_slowly(t))) << n;
        }
}

// A prefix reads no byte after its last character: the text here runs on
// into a page that may not be read at all.
TEST(Utf8Chars, PrefixesReadOnlyTheCharactersTheyPass) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    void* map = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    char* bytes = static_cast<char*>(map);
    const std::string head = "pad \xE6\x97\xA5\xE6\x9C\xAC then ascii";
    for (size_t i = 0; i < page; ++i) bytes[i] = head[i % head.size()];
    ASSERT_EQ(mprotect(bytes + page, page, PROT_NONE), 0);
    std::string_view s(bytes, 2 * page);
    struct Case {
        size_t max_chars, bytes;
    };
    for (Case c : {Case{0, 0}, Case{3, 3}, Case{5, 7}, Case{6, 10}, Case{17, 21}, Case{21, 25}}) {
        CharPrefix p = char_prefix(s, c.max_chars);
        EXPECT_EQ(p.chars, c.max_chars);
        EXPECT_EQ(p.bytes, c.bytes) << c.max_chars;
    }
    munmap(map, 2 * page);
}

}  // namespace
}  // namespace koru
