// The request token.  When TOKEN_KEY or TIME_INTERVAL is configured, every
// CGI request must return the token that this program issued to the same
// client address in its previous response, not older than TIME_INTERVAL
// seconds.  The token binds the key text, 16 bits of the issue time and the
// client address through a deterministic scrambling with koru's generator.
#pragma once
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace koru {

// The key and token parts of the request's 'Q' record.  They share one
// 1024-byte area: the key takes at most 1023 bytes, the token what is left
// after the key and its terminator.
constexpr size_t kTokenArea = 1024;

struct TokenState {
    std::string key, token;
    bool refused = false;  // the request failed the check; the reply says "NG"
    void reset() { *this = TokenState{}; }
};

// Stores the parts of a 'Q' record within the shared area.
void token_set_parts(std::string_view key, std::string_view token);

// Eight characters derived from a time value and the client address.
std::string token_random_part(uint32_t n, uint32_t client);
// The token for a key text, a 16-bit time value and the client address.
std::string token_text(std::string_view key, uint16_t t, uint32_t client);

// Sealed tokens: TOKEN_SECRET is set.  A sealed token begins with the
// HMAC-SHA-256 (64 hexadecimal characters) of the key text, the client
// address and the time value under the secret.
bool token_sealed();
// Whether the check and the reply are in force at all.
bool token_configured();
// Whether a request's TOP text calls one of the TOKEN_FREE functions, which
// run without a token while tokens are sealed.
bool token_free_top(std::string_view top);

// Why a request is refused at the given time: 0 when it passes, below 100
// for an authentication failure, 100 and above for an expired token.
int token_refusal(uint32_t client, time_t now);

// The CGI check: returns when the request passes; otherwise marks it as
// refused and raises error 1775.
void token_check(uint32_t client);
void token_check_at(uint32_t client, time_t now);
// Refuses for the given reason (test mode uses reason 1).
[[noreturn]] void token_refuse(int reason);

// Writes the reply "X" with the next key text and token, or "NG" twice for
// a refused request.  Nothing is written when neither TOKEN_KEY nor
// TIME_INTERVAL is configured.
void token_reply(bool refused, uint32_t client);
void token_reply_at(bool refused, uint32_t client, time_t now);

}  // namespace koru

#include "host/engine.h"  // g_token: the engine owns the part declared here
