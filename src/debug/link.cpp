// The debugger link over a TCP socket: connect within 200 ms, framed
// messages with acknowledgements, every wait a poll with a time limit.
#include "debug/link.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>

#include "debug/state.h"

namespace koru {

void debugger_detach();  // debug/hooks.cpp: the interpreter's entries go

namespace {

constexpr int kConnectLimitMs = 200;
constexpr int kAckLimitMs = 10 * 1000;
constexpr int kSendAttempts = 50;
constexpr int kRetryPauseMs = 50;
constexpr unsigned kMaxDigits = 8;  // kMaxPayload has 8 digits

int64_t now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void pause_ms(int ms) {
    timespec t{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

[[noreturn]] void fail() {
    link_close();
    throw LinkFailure{};
}

// Waits for `events` until `deadline`; false when the time is up.  A wait
// that fails, or a peer that hung up or broke, is a link failure.
bool wait_for(short events, int64_t deadline) {
    for (;;) {
        int64_t left = deadline - now_ms();
        if (left <= 0) return false;
        pollfd p{g_debugger.socket, events, 0};
        int r = ::poll(&p, 1, static_cast<int>(left));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) fail();
        if (r == 0) return false;
        if (p.revents & events) return true;
        fail();  // POLLERR, POLLHUP or POLLNVAL without the event
    }
}

// Receives exactly n bytes before `deadline`.
void receive_exact(char* out, size_t n, int64_t deadline) {
    size_t got = 0;
    while (got < n) {
        if (!wait_for(POLLIN, deadline)) fail();
        ssize_t k = ::recv(g_debugger.socket, out + got, n - got, 0);
        if (k < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        if (k <= 0) fail();
        got += static_cast<size_t>(k);
    }
}

// A header: the letter, then its digits, each piece within the limit.  The
// length has exactly as many digits as the letter says (no leading zero)
// and is at least 1 and at most kMaxPayload.
size_t receive_header(int limit_ms) {
    char letter;
    receive_exact(&letter, 1, now_ms() + limit_ms);
    if (letter < 'B' || letter > static_cast<char>('A' + kMaxDigits)) fail();
    unsigned k = static_cast<unsigned>(letter - 'A');
    char digits[kMaxDigits];
    receive_exact(digits, k, now_ms() + limit_ms);
    size_t n = 0;
    for (unsigned i = 0; i < k; ++i) {
        if (digits[i] < '0' || digits[i] > '9') fail();
        n = n * 10 + static_cast<size_t>(digits[i] - '0');
    }
    if ((k > 1 && digits[0] == '0') || n == 0 || n > kMaxPayload) fail();
    return n;
}

// Sends all of `bytes` within `limit_ms`.
void send_all(std::string_view bytes, int limit_ms) {
    int64_t deadline = now_ms() + limit_ms;
    size_t sent = 0;
    while (sent < bytes.size()) {
        if (!wait_for(POLLOUT, deadline)) fail();
        ssize_t k = ::send(g_debugger.socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (k < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        if (k <= 0) fail();
        sent += static_cast<size_t>(k);
    }
}

}  // namespace

std::string link_header(size_t length) {
    std::string digits = std::to_string(length);
    return static_cast<char>('A' + digits.size()) + digits;
}

bool link_connect(const char* address, const char* port) {
    if (g_debugger.closed || g_debugger.socket != kNoSocket) return false;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    // A client address is never looked up by name, nor the port in a file.
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (::getaddrinfo(address, port, &hints, &found) != 0 || !found) return false;
    int fd = ::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol);
    bool up = false;
    if (fd >= 0) {
        int flags = ::fcntl(fd, F_GETFL, 0);
        if (flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0) {
            int r = ::connect(fd, found->ai_addr, found->ai_addrlen);
            if (r == 0) {
                up = true;
            } else if (errno == EINPROGRESS) {
                pollfd p{fd, POLLOUT, 0};
                int error = 0;
                socklen_t len = sizeof error;
                up = ::poll(&p, 1, kConnectLimitMs) == 1 && (p.revents & POLLOUT) &&
                     ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0;
            }
        }
        if (!up) ::close(fd);
    }
    ::freeaddrinfo(found);
    if (!up) return false;
    g_debugger.socket = fd;
    return true;
}

bool link_up() { return g_debugger.socket != kNoSocket; }

void link_send(std::string_view payload) {
    if (!link_up()) throw LinkFailure{};
    std::string message = link_header(payload.size());
    message.append(payload);
    for (int attempt = 0; attempt < kSendAttempts; ++attempt) {
        if (!wait_for(POLLOUT, now_ms() + kAckLimitMs)) {
            pause_ms(kRetryPauseMs);
            continue;
        }
        send_all(message, kAckLimitMs);
        if (receive_header(kAckLimitMs) != payload.size()) fail();
        return;
    }
    fail();
}

void link_send_quiet(std::string_view payload) {
    if (!link_up()) return;
    try {
        link_send(payload);
    } catch (const LinkFailure&) {
    }
}

std::string link_receive(int limit_ms) {
    if (!link_up()) throw LinkFailure{};
    size_t n = receive_header(limit_ms);
    // The buffer grows with the bytes that arrive, not with the length a
    // header announces.
    std::string payload;
    constexpr size_t kStep = 1u << 20;
    int64_t deadline = now_ms() + limit_ms;
    while (payload.size() < n) {
        size_t have = payload.size();
        size_t step = n - have < kStep ? n - have : kStep;
        payload.resize(have + step);
        receive_exact(payload.data() + have, step, deadline);
    }
    send_all(link_header(n), kAckLimitMs);
    return payload;
}

void link_close() {
    if (g_debugger.socket != kNoSocket) ::close(g_debugger.socket);
    g_debugger.socket = kNoSocket;
    g_debugger.closed = true;
    debugger_detach();
}

}  // namespace koru
