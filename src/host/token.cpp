#include "host/token.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "db/front/records.h"
#include "host/clock.h"
#include "host/config.h"
#include "host/errors.h"
#include "host/random.h"
#include "host/sha256.h"

namespace koru {


namespace {

constexpr char kRandomAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr char kTokenAlphabet[] = "jklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghi";
constexpr size_t kDigitsLength = 5;  // the time value ends every token as "%05d"
constexpr size_t kSealLength = 64;   // the hexadecimal seal that begins a sealed token

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

// The seal of a sealed token: the code of the key text, the client address
// and the time value, keyed with TOKEN_SECRET, as hexadecimal.
std::string token_seal(std::string_view key, uint16_t t, uint32_t client) {
    char address[24];
    std::snprintf(address, sizeof address, "%u.%u.%u.%u", byte_of(client, 0), byte_of(client, 1),
                  byte_of(client, 2), byte_of(client, 3));
    std::string message(key);
    message += '\0';
    message += address;
    message += '\0';
    message += five_digits(t);
    return digest_hex(hmac_sha256(g_config.token_secret, message));
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

bool token_sealed() { return !g_config.token_secret.empty(); }

bool token_configured() {
    return !g_config.token_key.empty() || g_config.time_interval > 0 || token_sealed();
}

bool token_free_top(std::string_view top) {
    if (!token_sealed()) return false;
    size_t b = 0;
    while (b < top.size() && (top[b] == ' ' || top[b] == '\t')) ++b;
    size_t e = b;
    while (e < top.size() && (std::isalnum(static_cast<unsigned char>(top[e])) || top[e] == '_' || top[e] == '$')) ++e;
    std::string_view name = top.substr(b, e - b);
    if (name.empty()) return false;
    for (const std::string& f : g_config.token_free)
        if (f == name) return true;
    return false;
}

int token_refusal(uint32_t client, time_t now) {
    bool rest = false;
    const bool sealed = token_sealed();
    if (g_config.token_key.empty() && !sealed) {
        if (g_config.time_interval <= 0) return 0;
        long v = read_time_value(g_token.token, rest);
        return too_old(now, v) ? 101 : 0;
    }
    // A sealed token is the seal followed by the token as it always was.
    std::string_view token = g_token.token;
    std::string_view seal;
    if (sealed) {
        seal = token.substr(0, std::min(token.size(), kSealLength));
        token.remove_prefix(seal.size());
    }
    long v = read_time_value(token, rest);
    if (g_token.key.empty()) return 2;
    // Too short to hold a seal and a time: not minted with the secret.
    if (sealed && token.size() < kDigitsLength) return 4;
    if (g_config.time_interval > 0) {
        if (rest) return 3;
        if (too_old(now, v)) return 100;
    }
    auto t = static_cast<uint16_t>(v);
    bool same = equal_in_constant_time(token_text(g_token.key, t, client), token);
    if (sealed) same = equal_in_constant_time(token_seal(g_token.key, t, client), seal) && same;
    return same ? 0 : 4;
}

void token_refuse(int reason) {
    g_token.refused = true;
    raise_runtime(reason < 100 ? err::Plain(err::token_refused) : err::Plain(err::token_expired));
}

void token_check_at(uint32_t client, time_t now) {
    int reason = token_refusal(client, now);
    if (reason != 0) token_refuse(reason);
}

void token_check(uint32_t client) { token_check_at(client, clock_seconds()); }

void token_reply_at(bool refused, uint32_t client, time_t now) {
    if (!token_configured()) return;
    if (refused) {
        write_token_record("NG", "NG");
        return;
    }
    auto n = static_cast<uint32_t>(now);
    char hex[16];
    std::snprintf(hex, sizeof hex, "%x", n);
    std::string key = g_config.token_key + token_random_part(n, client) + hex;
    auto t = static_cast<uint16_t>(n % 65536);
    std::string token = token_text(key, t, client);
    if (token_sealed()) token = token_seal(key, t, client) + token;
    write_token_record(key, token);
}

void token_reply(bool refused, uint32_t client) { token_reply_at(refused, client, clock_seconds()); }

}  // namespace koru
