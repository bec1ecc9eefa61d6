// The framed messages of the debugger link.  A message is a header, one
// letter 'A'+k and the k digits of the payload length, then the payload;
// an acknowledgement is the header of the number of payload bytes received.
// Every failure of the link (a time limit, a closed peer, a header that
// does not parse) closes it and throws LinkFailure.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace koru {

struct LinkFailure {};

// Time limits of the pieces of a message received, in milliseconds.
constexpr int kModuleLimitMs = 10 * 1000;
constexpr int kStoppedLimitMs = 2 * 60 * 60 * 1000;
// The largest payload the program accepts.
constexpr size_t kMaxPayload = 64u << 20;

// Connects to the front end at `address`:`port` within 200 ms; false (and
// no socket) when that fails.
bool link_connect(const char* address, const char* port);
bool link_up();
// Sends one message and waits for its acknowledgement.
void link_send(std::string_view payload);
// Sends one message, and if the link fails, lets it go quietly: for what
// the program tells outside a point that could recover (prints, traces).
void link_send_quiet(std::string_view payload);
// Receives one message within `limit_ms` for each piece and acknowledges it.
std::string link_receive(int limit_ms);
// Closes the socket; the link stays closed for the rest of the process.
void link_close();
// The header of a payload length: "B9", "C10", "D100".
std::string link_header(size_t length);

}  // namespace koru
