#include <ctime>

#include "host/sha256.h"
#include "host_fixture.h"

namespace koru::testing {
namespace {

constexpr uint32_t kClient = 0x0A010203;  // 10.1.2.3
constexpr time_t kNow = 1709670607;      // low 16 bits: 0x80CF = 32975

// Splits an "X" record into its two plain text fields.
bool parse_reply(const std::string& rec, std::string& key, std::string& token) {
    if (rec.empty() || rec[0] != 'X') return false;
    size_t at = 1;
    auto field = [&](std::string& out) {
        if (at >= rec.size() || rec[at] < '0' || rec[at] > '9') return false;
        size_t digits = static_cast<size_t>(rec[at] - '0');
        size_t len = std::stoul(rec.substr(at + 1, digits));
        out = rec.substr(at + 1 + digits, len);
        at += 1 + digits + len;
        return out.size() == len;
    };
    return field(key) && field(token) && at == rec.size();
}

class Token : public HostTest {
protected:
    // The refusal for a request carrying these parts.
    int refusal(std::string_view key, std::string_view token, uint32_t client = kClient, time_t now = kNow) {
        token_set_parts(key, token);
        return token_refusal(client, now);
    }
    // The message that the check raises ("" when it passes).
    std::string check_message(time_t now) {
        try {
            token_check_at(kClient, now);
        } catch (const Unwind& u) {
            ErrorView e = error_view(u.value);
            EXPECT_EQ(std::string(e.code, e.code_len), "1775");
            std::string report(e.message, e.message_len);
            return report.substr(report.find(" : ") + 3);
        }
        return "";
    }
};

// Tokens worked out by hand from the scrambling rules.
TEST_F(Token, KnownTokens) {
    const struct {
        const char* key;
        uint16_t t;
        uint32_t client;
        const char* token;
    } cases[] = {
        {"abcde", 1234, kClient, "EQ4tgqoYQyjmnIIUDqIHl7yG01234"},
        {"Key_-9.x", 65535, 0xC0A80001, "YEptb1Rfyk9F6rsVZqhKBSYu9kAA65535"},
        {"", 42, 0x01020304, "00042"},
        // Skipped bytes keep the group growing past a multiple of four.
        {"a.b.c.d.e", 7, 0, "yyQdlB2IHrQdlB2IHr00007"},
    };
    for (const auto& c : cases) EXPECT_EQ(token_text(c.key, c.t, c.client), c.token) << c.key;
    EXPECT_EQ(token_random_part(0x5F5E1000, 0x7F000001), "OoPYb0TR");
}

TEST_F(Token, FiveCharacterKeyGivesTwentyNineCharacters) {
    std::string t = token_text("k2345", 65000, kClient);
    EXPECT_EQ(t.size(), 6u + 2 + 16 + 5);
    EXPECT_EQ(t.substr(24), "65000");
    EXPECT_NE(token_text("k2345", 65000, kClient + 1), t);  // the address counts
}

TEST_F(Token, ReplyIsAcceptedByTheNextRequest) {
    g_config.token_key = "KEY";
    g_config.time_interval = 60;
    token_reply_at(false, kClient, kNow);
    std::string key, token;
    ASSERT_TRUE(parse_reply(g_records, key, token)) << g_records;
    EXPECT_EQ(key, "KEY" + token_random_part(static_cast<uint32_t>(kNow), kClient) + "65e780cf");
    EXPECT_EQ(token, token_text(key, static_cast<uint16_t>(kNow % 65536), kClient));
    EXPECT_EQ(token.substr(token.size() - 5), "32975");

    const struct {
        std::string key, token;
        uint32_t client;
        time_t now;
        int reason;
    } cases[] = {
        {key, token, kClient, kNow, 0},
        {key, token, kClient, kNow + 60, 0},
        {key, token, kClient, kNow + 61, 100},
        {key, token, kClient + 1, kNow, 4},       // another client address
        {key + "x", token, kClient, kNow, 4},     // another key text
        {key, "x" + token, kClient, kNow, 4},     // the length differs
        {"", token, kClient, kNow, 2},
        {key, token + "z", kClient, kNow, 3},     // bytes after the number
    };
    for (const auto& c : cases) EXPECT_EQ(refusal(c.key, c.token, c.client, c.now), c.reason) << c.key << " " << c.token;

    // Without an age limit neither the age nor trailing bytes matter.
    g_config.time_interval = 0;
    EXPECT_EQ(refusal(key, token, kClient, kNow + 100000), 0);
    EXPECT_EQ(refusal(key, token + "z", kClient, kNow), 4);
}

TEST_F(Token, AgeOnly) {
    g_config.time_interval = 30;
    const struct {
        const char* token;
        time_t now;
        int reason;
    } cases[] = {
        {"anything32975", kNow, 0},
        {"32945", kNow, 0},
        {"32944", kNow, 101},
        {"", kNow, 101},            // no number reads as 0
        {"65530", 65536 * 100 + 5, 0},  // the counter wrapped: a negative age passes
        {"00010", 65536 * 100 + 50, 101},
    };
    for (const auto& c : cases) EXPECT_EQ(refusal("", c.token, kClient, c.now), c.reason) << c.token;
}

TEST_F(Token, UnconfiguredPassesAndRepliesNothing) {
    EXPECT_EQ(refusal("", "junk"), 0);
    token_reply_at(false, kClient, kNow);
    token_reply_at(true, kClient, kNow);
    EXPECT_EQ(g_records, "");
}

TEST_F(Token, RefusedRequest) {
    g_config.token_key = "KEY";
    g_config.time_interval = 10;
    token_set_parts("", "00000");
    EXPECT_EQ(check_message(kNow), "認証エラー");
    EXPECT_TRUE(g_token.refused);

    g_token.reset();
    std::string key = "KEYabc";
    token_set_parts(key, token_text(key, 32970, kClient));
    EXPECT_EQ(check_message(kNow), "");
    EXPECT_EQ(check_message(kNow + 6), "タイムアウト");

    token_reply_at(true, kClient, kNow);
    EXPECT_EQ(g_records, "X12NG12NG");
}

TEST_F(Token, PartsShareOneArea) {
    token_set_parts("k", "t");
    EXPECT_EQ(g_token.key, "k");
    EXPECT_EQ(g_token.token, "t");
    token_set_parts(std::string(1000, 'k'), std::string(100, 't'));
    EXPECT_EQ(g_token.token.size(), 22u);  // 1024 bytes hold both texts and their ends
    token_set_parts(std::string(2000, 'k'), "t");
    EXPECT_EQ(g_token.key.size(), 1023u);
    EXPECT_EQ(g_token.token, "");
}

// Sealed tokens: the reply's token begins with the code of the key text,
// the address and the time under the secret, and only such a token passes.
TEST_F(Token, SealedTokens) {
    g_config.token_key = "KEY";
    g_config.time_interval = 60;
    g_config.token_secret = "the secret of this installation";
    token_reply_at(false, kClient, kNow);
    std::string key, token;
    ASSERT_TRUE(parse_reply(g_records, key, token)) << g_records;
    EXPECT_EQ(g_records.find(g_config.token_secret), std::string::npos);
    const std::string plain = token_text(key, static_cast<uint16_t>(kNow % 65536), kClient);
    ASSERT_EQ(token.size(), 64 + plain.size());
    EXPECT_EQ(token.substr(64), plain);

    std::string flipped = token;
    flipped[10] = flipped[10] == '0' ? '1' : '0';
    const struct {
        std::string key, token;
        uint32_t client;
        time_t now;
        int reason;
    } cases[] = {
        {key, token, kClient, kNow, 0},
        {key, token, kClient, kNow + 61, 100},
        {key, plain, kClient, kNow, 4},                 // minted without the secret
        {key, flipped, kClient, kNow, 4},               // a changed seal
        {key, token, kClient + 1, kNow, 4},             // another address
        {key + "x", token, kClient, kNow, 4},           // another key text
        {key, token.substr(0, 64), kClient, kNow, 4},   // the seal alone
        {"", token, kClient, kNow, 2},
    };
    for (const auto& c : cases) EXPECT_EQ(refusal(c.key, c.token, c.client, c.now), c.reason) << c.token;

    // Another secret: the same token no longer passes.
    g_config.token_secret = "another secret";
    EXPECT_EQ(refusal(key, token), 4);
    // A secret without TOKEN_KEY still seals and checks.
    g_config.token_key.clear();
    g_config.time_interval = 0;
    g_records.clear();
    token_reply_at(false, kClient, kNow);
    ASSERT_TRUE(parse_reply(g_records, key, token)) << g_records;
    EXPECT_EQ(refusal(key, token), 0);
    EXPECT_EQ(refusal(key, token.substr(64)), 4);
}

TEST_F(Token, FreeFunctionsOnlyWhileSealed) {
    g_config.token_free = {"login", "landing"};
    EXPECT_FALSE(token_free_top("login"));  // without a secret there is no free function
    g_config.token_secret = "s";
    const struct {
        const char* top;
        bool free;
    } cases[] = {
        {"login", true}, {" login()", true}, {"landing(1, 'x')", true},
        {"loginx", false}, {"logi", false}, {"main", false}, {"", false}, {"(login)", false},
    };
    for (const auto& c : cases) EXPECT_EQ(token_free_top(c.top), c.free) << c.top;
}

TEST(Hmac, KnownCodes) {
    EXPECT_EQ(digest_hex(hmac_sha256("Jefe", "what do ya want for nothing?")),
              "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
    // A key longer than a block is hashed first.
    EXPECT_EQ(digest_hex(hmac_sha256(std::string(131, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First")),
              "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54");
    EXPECT_TRUE(equal_in_constant_time("abc", "abc"));
    EXPECT_FALSE(equal_in_constant_time("abc", "abd"));
    EXPECT_FALSE(equal_in_constant_time("abc", "ab"));
}

}  // namespace
}  // namespace koru::testing
