#include "host/token.h"

#include <cstdio>
#include <ctime>

#include "db/front/records.h"
#include "host/clock.h"
#include "host/config.h"
#include "host/errors.h"
#include "host/random.h"

namespace koru {

TokenState g_token;

namespace {

constexpr char kRandomAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr char kTokenAlphabet[] = "jklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghi";
constexpr size_t kDigitsLength = 5;  // the time value ends every token as "%05d"

// Seeds the generator and draws `count` characters of an alphabet.
void draw(std::string& out, const char* alphabet, uint32_t seed, int count) {
    random_seed(seed);
    for (int i = 0; i < count; ++i) out.push_back(alphabet[static_cast<int>(random_draw() / 32767.0 * 61)]);
}

// The six-bit value of a key byte; -1 for bytes that do not count.
int key_bits(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '-') return 62;
    if (c == '_') return 63;
    return -1;
}

uint32_t byte_of(uint32_t client, int i) { return (client >> (24 - 8 * i)) & 0xFF; }

std::string five_digits(uint32_t t) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%05u", t);
    return buf;
}

// The time value at the end of a token: a decimal number read from its last
// five bytes (the whole text when it is shorter).  `rest` tells whether
// anything follows the number.
long read_time_value(std::string_view token, bool& rest) {
    const size_t window = token.size() > kDigitsLength ? token.size() - kDigitsLength : 0;
    size_t i = window;
    while (i < token.size() && (token[i] == ' ' || (token[i] >= '\t' && token[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) negative = token[i++] == '-';
    const size_t digits = i;
    long v = 0;
    for (; i < token.size() && token[i] >= '0' && token[i] <= '9'; ++i) v = v * 10 + (token[i] - '0');
    if (i == digits) {  // no number: nothing is consumed
        rest = window < token.size();
        return 0;
    }
    rest = i < token.size();
    return negative ? -v : v;
}

bool too_old(time_t now, long v) {
    long current = static_cast<long>(static_cast<uint64_t>(now) % 65536);
    return current - v > g_config.time_interval;
}

}  // namespace

void token_set_parts(std::string_view key, std::string_view token) {
    g_token.key.assign(key.substr(0, kTokenArea - 1));
    size_t room = kTokenArea - 1 - g_token.key.size();  // bytes after the key's terminator
    g_token.token.assign(token.substr(0, room > 0 ? room - 1 : 0));
}

std::string token_random_part(uint32_t n, uint32_t client) {
    uint32_t s = (n * 9878u) % 65536u;
    std::string out;
    draw(out, kRandomAlphabet, (byte_of(client, 0) * 256) | s | byte_of(client, 1), 4);
    draw(out, kRandomAlphabet, (byte_of(client, 2) * 256) | s | byte_of(client, 3), 4);
    return out;
}

std::string token_text(std::string_view key, uint16_t t, uint32_t client) {
    if (key.empty()) return five_digits(t);
    const uint32_t high = uint32_t{t} << 24;  // only the low 8 bits of t survive
    std::string out;
    uint32_t group = 0;
    for (size_t p = 1; p <= key.size(); ++p) {
        int bits = key_bits(static_cast<unsigned char>(key[p - 1]));
        if (bits < 0) continue;
        group = (group << 6) | static_cast<uint32_t>(bits);
        if (p % 4 == 0) {
            draw(out, kTokenAlphabet, group | high, 6);
            group = 0;
        }
    }
    if (group != 0) draw(out, kTokenAlphabet, high | group, static_cast<int>(2 * (key.size() % 4)));
    draw(out, kTokenAlphabet, (byte_of(client, 0) << 8) | byte_of(client, 1) | (uint32_t{t} << 16), 8);
    draw(out, kTokenAlphabet, (byte_of(client, 2) << 8) | byte_of(client, 3) | (uint32_t{t} << 16), 8);
    return out + five_digits(t);
}

int token_refusal(uint32_t client, time_t now) {
    bool rest = false;
    if (g_config.token_key.empty()) {
        if (g_config.time_interval <= 0) return 0;
        long v = read_time_value(g_token.token, rest);
        return too_old(now, v) ? 101 : 0;
    }
    long v = read_time_value(g_token.token, rest);
    if (g_token.key.empty()) return 2;
    if (g_config.time_interval > 0) {
        if (rest) return 3;
        if (too_old(now, v)) return 100;
    }
    std::string expected = token_text(g_token.key, static_cast<uint16_t>(v), client);
    return expected == g_token.token ? 0 : 4;
}

void token_refuse(int reason) {
    g_token.refused = true;
    raise_runtime(1775, "%s", reason < 100 ? "認証エラー" : "タイムアウト");
}

void token_check_at(uint32_t client, time_t now) {
    int reason = token_refusal(client, now);
    if (reason != 0) token_refuse(reason);
}

void token_check(uint32_t client) { token_check_at(client, clock_seconds()); }

void token_reply_at(bool refused, uint32_t client, time_t now) {
    if (g_config.token_key.empty() && g_config.time_interval <= 0) return;
    if (refused) {
        write_token_record("NG", "NG");
        return;
    }
    auto n = static_cast<uint32_t>(now);
    char hex[16];
    std::snprintf(hex, sizeof hex, "%x", n);
    std::string key = g_config.token_key + token_random_part(n, client) + hex;
    write_token_record(key, token_text(key, static_cast<uint16_t>(n % 65536), client));
}

void token_reply(bool refused, uint32_t client) { token_reply_at(refused, client, clock_seconds()); }

}  // namespace koru
