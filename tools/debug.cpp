// koru-tool debug: a console front end for the debugger link of koru-debug.
// It listens for the program, answers its module requests (with the
// sources of --modules DIR, or "&&&&" so the program reads its own) and the
// breakpoints set so far, and reads commands from standard input whenever
// the program stops.
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "commands.h"

namespace {

constexpr size_t kMaxPayload = 64u << 20;
constexpr int kAckLimitMs = 10 * 1000;
constexpr int kRunningLimitMs = 2 * 60 * 60 * 1000;

// The texts the program sends in Shift_JIS, shown in UTF-8.
const std::pair<std::string_view, std::string_view> kSjisTexts[] = {
    {"\x95\x5D\x89\xBF\x8C\x8B\x89\xCA\x82\xCC\x95\xB6\x8E\x9A\x97\xF1\x82\xAA\x92\xB7\x82\xB7\x82\xAC\x82\xDC"
     "\x82\xB7\x81\x42",
     "評価結果の文字列が長すぎます。"},
    {"\x8E\xAE\x82\xCC\x83\x74\x83\x48\x81\x5B\x83\x7D\x83\x62\x83\x67\x95\x73\x90\xB3", "式のフォーマット不正"},
    {"\x8C\xC4\x82\xD1\x8F\x6F\x82\xB5\x97\x9A\x97\xF0\x82\xCC\x8E\x77\x92\xE8\x95\x73\x90\xB3",
     "呼び出し履歴の指定不正"},
};

std::string readable(std::string text) {
    for (const auto& [sjis, utf8] : kSjisTexts)
        for (size_t at; (at = text.find(sjis)) != std::string::npos;) text.replace(at, sjis.size(), utf8);
    return text;
}

std::string slashed(std::string p) {
    for (char& c : p)
        if (c == '\\') c = '/';
    return p;
}

int64_t now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct LinkError {
    std::string why;
};

// ---- the framed messages -------------------------------------------------------------

struct Link {
    int fd = -1;

    void wait(short events, int64_t deadline) {
        for (;;) {
            int64_t left = deadline - now_ms();
            if (left <= 0) throw LinkError{"the program did not answer in time"};
            pollfd p{fd, events, 0};
            int r = ::poll(&p, 1, static_cast<int>(left > 60000 ? 60000 : left));
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) throw LinkError{std::strerror(errno)};
            if (r == 0) continue;
            if (p.revents & events) return;
            throw LinkError{"the connection broke"};
        }
    }
    void exact(char* out, size_t n, int64_t deadline) {
        for (size_t got = 0; got < n;) {
            wait(POLLIN, deadline);
            ssize_t k = ::recv(fd, out + got, n - got, 0);
            if (k < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (k == 0) throw LinkError{"the program closed the connection"};
            if (k < 0) throw LinkError{std::strerror(errno)};
            got += static_cast<size_t>(k);
        }
    }
    void send_all(std::string_view bytes) {
        int64_t deadline = now_ms() + kAckLimitMs;
        for (size_t sent = 0; sent < bytes.size();) {
            wait(POLLOUT, deadline);
            ssize_t k = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (k < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (k <= 0) throw LinkError{"the connection broke while sending"};
            sent += static_cast<size_t>(k);
        }
    }
    size_t header(int limit_ms) {
        char letter;
        exact(&letter, 1, now_ms() + limit_ms);
        if (letter < 'B' || letter > 'I') throw LinkError{"a message header that does not parse"};
        unsigned k = static_cast<unsigned>(letter - 'A');
        char digits[8];
        exact(digits, k, now_ms() + kAckLimitMs);
        size_t n = 0;
        for (unsigned i = 0; i < k; ++i) {
            if (digits[i] < '0' || digits[i] > '9') throw LinkError{"a message length that does not parse"};
            n = n * 10 + static_cast<size_t>(digits[i] - '0');
        }
        if (n == 0 || n > kMaxPayload || (k > 1 && digits[0] == '0')) throw LinkError{"a message length out of bounds"};
        return n;
    }
    static std::string head(size_t n) {
        std::string d = std::to_string(n);
        return static_cast<char>('A' + d.size()) + d;
    }
    std::string receive(int limit_ms) {
        size_t n = header(limit_ms);
        std::string payload;
        int64_t deadline = now_ms() + kAckLimitMs;
        while (payload.size() < n) {
            size_t have = payload.size(), step = std::min<size_t>(n - have, 1u << 20);
            payload.resize(have + step);
            exact(payload.data() + have, step, deadline);
        }
        send_all(head(n));
        return payload;
    }
    void send(std::string_view payload) {
        send_all(head(payload.size()) + std::string(payload));
        if (header(kAckLimitMs) != payload.size()) throw LinkError{"a wrong acknowledgement"};
    }
};

// ---- the session ------------------------------------------------------------------

struct Frame {
    std::string module, function;
    int line = 0, column = 0;
};

struct Session {
    std::string modules_dir;
    Link link;
    // By module path: lines with breakpoints, conditions, traced lines.
    std::map<std::string, std::vector<int>> breaks;
    std::map<std::string, std::map<int, std::string>> conditions;
    std::map<std::string, std::map<int, std::string>> traces;
    std::map<std::string, std::vector<std::string>> sources;
    std::vector<Frame> stack;  // outermost first
    std::string stop_module;
    int stop_line = 0, stop_column = 0;
    size_t frame = 0;  // chosen frame, counted from the innermost
    bool connected = false, input_done = false;
};

void say(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// A module path the tool serves from its directory: relative, no "..".
bool servable(const std::string& path) {
    if (path.empty() || path[0] == '/') return false;
    std::string p = slashed(path);
    size_t start = 0;
    for (;;) {
        size_t end = p.find('/', start);
        std::string seg = p.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (seg.empty() || seg == "..") return false;
        if (end == std::string::npos) return true;
        start = end + 1;
    }
}

bool read_source(Session& s, const std::string& path, std::string& text) {
    if (s.modules_dir.empty() || !servable(path)) return false;
    std::ifstream in(s.modules_dir + "/" + slashed(path), std::ios::binary);
    if (!in) return false;
    std::stringstream b;
    b << in.rdbuf();
    text = b.str();
    return true;
}

std::string break_list(Session& s, const std::string& m) {
    std::string out;
    for (int l : s.breaks[m]) out += std::to_string(l) + ":";
    return out;
}
std::string condition_list(Session& s, const std::string& m) {
    std::string out;
    for (const auto& [l, e] : s.conditions[m]) out += std::to_string(l) + ":" + e + ";";
    return out;
}
std::string trace_list(Session& s, const std::string& m) {
    std::string out;
    for (const auto& [l, label] : s.traces[m]) out += std::to_string(l) + ":" + label + "; ";
    return out;
}

void serve_module(Session& s, const std::string& path) {
    std::string m = slashed(path), text;
    if (read_source(s, path, text)) {
        s.sources[m] = split_lines(text);
        s.link.send("s" + text);
        say("serving " + path);
    } else {
        s.link.send("&&&&");
    }
    s.link.send("t" + trace_list(s, m) + "###b" + break_list(s, m) + "$$$c" + condition_list(s, m));
}

// "FILE:LINE" -> module and line; false when it does not read so.
bool parse_place(const std::string& text, std::string& module, int& line) {
    size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    char* end;
    long n = std::strtol(text.c_str() + colon + 1, &end, 10);
    if (*end || n <= 0 || n > 65535) return false;
    module = slashed(text.substr(0, colon));
    line = static_cast<int>(n);
    return true;
}

// Sends a module's lists to a program that is stopped.
void update_lists(Session& s, const std::string& m) {
    if (!s.connected) return;
    s.link.send("B" + m + ":" + break_list(s, m));
    s.link.send("b" + m + ":" + condition_list(s, m));
    s.link.send("T" + m + ":" + trace_list(s, m));
}

void show_stop(Session& s) {
    std::string where = s.stop_module + ":" + std::to_string(s.stop_line);
    std::string in = s.stack.empty() ? "top level" : s.stack.back().function + "()";
    say("stopped at " + where + " (column " + std::to_string(s.stop_column) + ") in " + in);
    auto it = s.sources.find(s.stop_module);
    if (it != s.sources.end() && s.stop_line >= 1 && static_cast<size_t>(s.stop_line) <= it->second.size())
        say(std::to_string(s.stop_line) + "\t" + it->second[s.stop_line - 1]);
}

void list_source(Session& s) {
    auto it = s.sources.find(s.stop_module);
    if (it == s.sources.end()) {
        say("no source of " + s.stop_module + " (start with --modules DIR)");
        return;
    }
    const std::vector<std::string>& lines = it->second;
    int from = std::max(1, s.stop_line - 5), to = std::min(static_cast<int>(lines.size()), s.stop_line + 5);
    for (int l = from; l <= to; ++l)
        say((l == s.stop_line ? "=> " : "   ") + std::to_string(l) + "\t" + lines[l - 1]);
}

void show_stack(Session& s) {
    if (s.stack.empty()) {
        say("no call is active (top-level code)");
        return;
    }
    for (size_t i = 0; i < s.stack.size(); ++i) {
        const Frame& f = s.stack[s.stack.size() - 1 - i];
        say((i == s.frame ? "* #" : "  #") + std::to_string(i) + " " + f.function + " at " + f.module + ":" +
            std::to_string(f.line) + ":" + std::to_string(f.column));
    }
}

// The reply to an "E" request: "=" value or "#" failure.
void evaluate(Session& s, const std::string& expr) {
    if (s.stack.empty()) {
        say("no call is active: nothing to evaluate in");
        return;
    }
    const Frame& f = s.stack[s.stack.size() - 1 - s.frame];
    s.link.send("E" + f.module + ":" + f.function + ":" + std::to_string(f.line) + ":" + std::to_string(f.column) +
                ";" + expr);
    std::string reply = s.link.receive(kAckLimitMs);
    if (reply[0] == '=') say(expr + " = " + reply.substr(1));
    else say("error: " + readable(reply.substr(1)));
}

// Commands that set or clear the lists: shared by the set-up and the stops.
bool list_command(Session& s, const std::string& cmd, std::istringstream& args) {
    std::string place, module;
    int line;
    if (cmd == "break" || cmd == "b" || cmd == "clear" || cmd == "trace" || cmd == "untrace") {
        args >> place;
        if (!parse_place(place, module, line)) {
            say("usage: " + cmd + " FILE:LINE");
            return true;
        }
    } else {
        return false;
    }
    std::string rest;
    std::getline(args, rest);
    size_t b = rest.find_first_not_of(' ');
    rest = b == std::string::npos ? "" : rest.substr(b);
    if (cmd == "break" || cmd == "b") {
        if (rest.rfind("if ", 0) == 0) {
            std::string cond = rest.substr(3);
            if (cond.find(';') != std::string::npos) {
                say("a condition cannot contain ';'");
                return true;
            }
            s.conditions[module][line] = cond;
            say("breakpoint at " + module + ":" + std::to_string(line) + " if " + cond);
        } else {
            std::vector<int>& v = s.breaks[module];
            if (std::find(v.begin(), v.end(), line) == v.end()) v.push_back(line);
            say("breakpoint at " + module + ":" + std::to_string(line));
        }
    } else if (cmd == "clear") {
        std::vector<int>& v = s.breaks[module];
        v.erase(std::remove(v.begin(), v.end(), line), v.end());
        s.conditions[module].erase(line);
        say("cleared " + module + ":" + std::to_string(line));
    } else if (cmd == "trace") {
        std::string label = rest.empty() ? module + ":" + std::to_string(line) : rest;
        if (label.find(';') != std::string::npos) {
            say("a label cannot contain ';'");
            return true;
        }
        s.traces[module][line] = label;
        say("tracing the function at " + module + ":" + std::to_string(line) + " as " + label);
    } else {
        s.traces[module].erase(line);
        say("no trace at " + module + ":" + std::to_string(line));
    }
    update_lists(s, module);
    return true;
}

void help() {
    say("break FILE:LINE [if EXPR] | clear FILE:LINE | trace FILE:LINE [LABEL] | untrace FILE:LINE");
    say("continue (c) | step (s) | next (n) | finish (f) | where (bt) | frame N | print EXPR (p) | list (l) | quit");
}

bool next_command(Session& s, std::string& line) {
    if (s.input_done) return false;
    std::fputs("(koru) ", stdout);
    std::fflush(stdout);
    if (!std::getline(std::cin, line)) {
        s.input_done = true;
        std::fputc('\n', stdout);
        return false;
    }
    std::fputs((line + "\n").c_str(), stdout);  // a scripted session reads like a typed one
    return true;
}

// Commands while stopped, until one resumes the program; returns the
// stepping command to send.
std::string stopped(Session& s) {
    s.frame = 0;
    show_stop(s);
    std::string line;
    while (next_command(s, line)) {
        std::istringstream args(line);
        std::string cmd;
        args >> cmd;
        if (cmd.empty()) continue;
        if (cmd == "continue" || cmd == "c") return "STEP1";
        if (cmd == "step" || cmd == "s") return "STEP2";
        if (cmd == "next" || cmd == "n") return "STEP3";
        if (cmd == "finish" || cmd == "f") return "STEP4";
        if (cmd == "quit" || cmd == "q") return "STEP0";
        if (cmd == "where" || cmd == "bt") {
            show_stack(s);
        } else if (cmd == "frame") {
            size_t n;
            if (!(args >> n) || n >= std::max<size_t>(s.stack.size(), 1)) say("no such frame");
            else s.frame = n, show_stack(s);
        } else if (cmd == "print" || cmd == "p") {
            std::string expr;
            std::getline(args, expr);
            size_t b = expr.find_first_not_of(' ');
            if (b == std::string::npos) say("usage: print EXPR");
            else evaluate(s, expr.substr(b));
        } else if (cmd == "list" || cmd == "l") {
            list_source(s);
        } else if (cmd == "help" || cmd == "h") {
            help();
        } else if (!list_command(s, cmd, args)) {
            say("unknown command '" + cmd + "' (help lists them)");
        }
    }
    say("(end of input: continue)");
    return "STEP1";
}

void parse_stack(Session& s, std::string_view text) {
    s.stack.clear();
    while (!text.empty()) {
        size_t semi = text.find(';');
        std::string_view e = text.substr(0, semi);
        // module:function:line:column, from the right (a module path may hold ':').
        size_t c3 = e.rfind(':');
        size_t c2 = c3 == std::string_view::npos || c3 == 0 ? std::string_view::npos : e.rfind(':', c3 - 1);
        size_t c1 = c2 == std::string_view::npos || c2 == 0 ? std::string_view::npos : e.rfind(':', c2 - 1);
        if (c1 != std::string_view::npos) {
            Frame f;
            f.module = std::string(e.substr(0, c1));
            f.function = std::string(e.substr(c1 + 1, c2 - c1 - 1));
            f.line = std::atoi(std::string(e.substr(c2 + 1, c3 - c2 - 1)).c_str());
            f.column = std::atoi(std::string(e.substr(c3 + 1)).c_str());
            s.stack.push_back(f);
        }
        if (semi == std::string_view::npos) break;
        text.remove_prefix(semi + 1);
    }
}

// "B" + module ":" column ":" line.
bool parse_stop(Session& s, std::string_view text) {
    size_t c2 = text.rfind(':');
    if (c2 == std::string_view::npos || c2 == 0) return false;
    size_t c1 = text.rfind(':', c2 - 1);
    if (c1 == std::string_view::npos) return false;
    s.stop_module = slashed(std::string(text.substr(0, c1)));
    s.stop_column = std::atoi(std::string(text.substr(c1 + 1, c2 - c1 - 1)).c_str());
    s.stop_line = std::atoi(std::string(text.substr(c2 + 1)).c_str());
    return true;
}

// Serves the program until it says goodbye.
int serve(Session& s) {
    for (;;) {
        std::string m = s.link.receive(kRunningLimitMs);
        switch (m[0]) {
        case 'M':
            serve_module(s, m.substr(1));
            break;
        case 'S':
            parse_stack(s, std::string_view(m).substr(1));
            break;
        case 'B':
            if (!parse_stop(s, std::string_view(m).substr(1))) throw LinkError{"a stop message that does not parse"};
            s.link.send(stopped(s));
            break;
        case 'D':
            say("[report] " + readable(m.substr(1)));
            break;
        case 'A':
            if (m.rfind("A(L) ", 0) == 0 || m.rfind("A(E) ", 0) == 0) say("[console] " + m.substr(1));
            else say("[trace] call " + m.substr(1));
            break;
        case 'R':
            say("[trace] return " + m.substr(1));
            break;
        case '#':
            say("[error] " + readable(m.substr(1)));
            break;
        case 'X':
            say("the program has finished");
            return 0;
        default:
            say("[?] " + m);
            break;
        }
    }
}

int listen_on(const std::string& address, const std::string& port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    if (::getaddrinfo(address.c_str(), port.c_str(), &hints, &found) != 0 || !found) return -1;
    int fd = ::socket(found->ai_family, found->ai_socktype, found->ai_protocol);
    int one = 1;
    if (fd >= 0) ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (fd >= 0 && (::bind(fd, found->ai_addr, found->ai_addrlen) != 0 || ::listen(fd, 1) != 0)) {
        ::close(fd);
        fd = -1;
    }
    ::freeaddrinfo(found);
    return fd;
}

}  // namespace

int tool_debug(int argc, char** argv) {
    Session s;
    std::string port = "8777", address = "127.0.0.1";
    int wait_s = 0;
    for (int i = 0; i < argc; ++i) {
        std::string a = argv[i];
        if (i + 1 < argc && a == "--port") port = argv[++i];
        else if (i + 1 < argc && a == "--listen") address = argv[++i];
        else if (i + 1 < argc && a == "--modules") s.modules_dir = argv[++i];
        else if (i + 1 < argc && a == "--wait") wait_s = std::atoi(argv[++i]);
        else {
            std::fprintf(stderr, "usage: koru-tool debug [--port N] [--listen ADDR] [--modules DIR] [--wait SECONDS]\n");
            return 2;
        }
    }
    int listener = listen_on(address, port);
    if (listener < 0) {
        std::fprintf(stderr, "koru-tool debug: cannot listen on %s:%s: %s\n", address.c_str(), port.c_str(),
                     std::strerror(errno));
        return 1;
    }
    say("listening on " + address + ":" + port + "; set breakpoints, then 'run'");
    std::string line;
    while (next_command(s, line)) {
        std::istringstream args(line);
        std::string cmd;
        args >> cmd;
        if (cmd.empty()) continue;
        if (cmd == "run" || cmd == "r") break;
        if (cmd == "quit" || cmd == "q") return 0;
        if (cmd == "help" || cmd == "h") help();
        else if (!list_command(s, cmd, args)) say("before 'run': break, clear, trace, untrace, run, quit");
    }
    say("waiting for the program");
    pollfd p{listener, POLLIN, 0};
    int r;
    while ((r = ::poll(&p, 1, wait_s > 0 ? wait_s * 1000 : -1)) < 0 && errno == EINTR) {
    }
    if (r <= 0) {
        say("no program connected within " + std::to_string(wait_s) + " s");
        return 1;
    }
    s.link.fd = ::accept(listener, nullptr, nullptr);
    ::close(listener);
    if (s.link.fd < 0) {
        say(std::string("link failure: ") + std::strerror(errno));
        return 1;
    }
    s.connected = true;
    say("the program connected");
    try {
        int status = serve(s);
        ::close(s.link.fd);
        return status;
    } catch (const LinkError& e) {
        say("link failure: " + e.why);
        ::close(s.link.fd);
        return 1;
    }
}
