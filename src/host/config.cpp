#include "host/config.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include "host/checksum.h"
#include "host/errors.h"
#include "host/journal.h"
#include "host/modules.h"

namespace koru {


namespace {

constexpr size_t kLineBuffer = 4096;
constexpr int kMaxCommentCuts = 100;
constexpr size_t kEnvSettingMax = 16383;

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
    return s;
}

std::string upper_ascii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string cut(std::string_view s, size_t max) { return std::string(s.substr(0, max)); }

// The text after the opening quote up to the same quote preceded by an even
// number of backslashes; the backslashes stay.
bool unquote(std::string_view v, std::string& out) {
    char quote = v[0];
    size_t backslashes = 0;
    for (size_t i = 1; i < v.size(); ++i) {
        if (v[i] == quote && backslashes % 2 == 0) {
            out.assign(v.substr(1, i - 1));
            return true;
        }
        backslashes = v[i] == '\\' ? backslashes + 1 : 0;
    }
    return false;
}

// Cuts at the earlier of the last "#" and the last ";", again and again.
std::string_view strip_comments(std::string_view v) {
    for (int i = 0; i < kMaxCommentCuts; ++i) {
        size_t hash = v.rfind('#'), semi = v.rfind(';');
        if (hash == std::string_view::npos && semi == std::string_view::npos) break;
        size_t at = hash == std::string_view::npos ? semi : semi == std::string_view::npos ? hash : std::min(hash, semi);
        v = v.substr(0, at);
    }
    while (!v.empty() && is_blank(v.back())) v.remove_suffix(1);
    return v;
}

void add_include(std::string_view value) {
    if (g_modules.size() >= kMaxConfigModules)
        fatal_startup(err::fatal_too_many_modules);
    module_add(std::string(value), ModuleKind::Unstated);
}

void add_clients(std::string_view value) {
    g_config.has_client_list = true;
    std::string text(value);  // NUL-terminated for the parser
    const char* p = text.c_str();
    while (*p) {
        if (!is_digit(*p)) {
            ++p;
            continue;
        }
        uint32_t addr;
        if (!parse_ipv4(p, addr)) fatal_startup(err::fatal_client_address);
        g_config.clients.push_back(addr);
        if (*p) ++p;  // the character that ends an address
    }
}

void set_time_interval(const std::string& value) {
    if (value.empty()) {
        g_config.time_interval = 0;
        return;
    }
    char* end = nullptr;
    long long n = std::strtoll(value.c_str(), &end, 10);
    if (end == value.c_str() || *end != '\0')
        fatal_startup(err::fatal_time_interval);
    // Out of range values saturate, as a 32-bit long conversion does.
    if (n > INT32_MAX) n = INT32_MAX;
    if (n < INT32_MIN) n = INT32_MIN;
    g_config.time_interval = static_cast<int32_t>(n);
}

// A count of seconds or megabytes: empty is 0 (no limit); anything but
// digits is fatal.
uint32_t limit_value(const std::string& value, err::Plain not_digits) {
    if (value.empty()) return 0;
    uint64_t n = 0;
    for (char c : value) {
        if (!is_digit(c)) fatal_startup(not_digits);
        n = std::min<uint64_t>(n * 10 + static_cast<uint64_t>(c - '0'), UINT32_MAX);
    }
    return static_cast<uint32_t>(n);
}

// "a, b,c": the names, trimmed; empty names are dropped.
std::vector<std::string> name_list(const std::string& value) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        size_t comma = value.find(',', start);
        std::string_view part = trim(std::string_view(value).substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (!part.empty()) out.emplace_back(part);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return out;
}

void set_module_dir(const std::string& value) {
    size_t mark = value.find(">>>");
    if (mark == std::string::npos) {
        g_config.module_dir = cut(value, kModuleDirMax);
        return;
    }
    std::string dir = value.substr(0, mark);
    // An empty directory would pin (and walk) the whole file system.
    if (dir.empty()) fatal_startup(err::fatal_config_format);
    check_module_directory(dir, std::string_view(value).substr(mark + 3));
    g_config.module_dir = cut(dir, kModuleDirMax);
}

// Makes a "name=value" setting in the environment; an empty value removes
// the variable, as the setting of an empty value always did.
void put_environment(std::string setting) {
    if (setting.size() > kEnvSettingMax) setting.resize(kEnvSettingMax);
    size_t eq = setting.find('=');
    if (eq == std::string::npos || eq == 0) return;
    std::string name = setting.substr(0, eq);
    std::string value = setting.substr(eq + 1);
    journal_start_text();  // the start time keeps the zone it was taken in
    if (value.empty())
        unsetenv(name.c_str());
    else
        setenv(name.c_str(), value.c_str(), 1);
}

void set_environment(const std::string& value) {
    size_t plus = value.find("+=");
    if (plus == std::string::npos) {
        put_environment(value);
        return;
    }
    std::string name = value.substr(0, plus);
    std::string_view addition = trim(std::string_view(value).substr(plus + 2));
    const char* current = name.empty() ? nullptr : getenv(name.c_str());
    std::string_view now = current ? trim(current) : std::string_view();
    if (now.empty())
        put_environment(name + "=" + std::string(addition));
    else
        put_environment(name + "=" + std::string(now) + ";" + std::string(addition));
}

void apply_prepared(const std::string& key, const std::string& value) {
    if (key == "TOKEN_KEY") {
        g_config.token_key = cut(value, kTokenKeyMax);
    } else if (key == "TIME_INTERVAL") {
        set_time_interval(value);
    } else if (key == "LOGFILE") {
        g_config.logfile = cut(value, kJournalPathMax);
        journal_set_path(g_config.logfile);
    } else if (key == "MODULE_DIR") {
        set_module_dir(value);
    } else if (key == "DEBUG_PORT") {
        g_config.debug_port = cut(value, kDebugPortMax);
    } else if (key == "ENV") {
        set_environment(value);
    } else if (key == "TOKEN_SECRET") {
        g_config.token_secret = value;
    } else if (key == "TOKEN_FREE") {
        g_config.token_free = name_list(value);
    } else if (key == "CPU_LIMIT") {
        g_config.cpu_limit = limit_value(value, err::fatal_cpu_limit);
    } else if (key == "MEMORY_LIMIT") {
        g_config.memory_limit = limit_value(value, err::fatal_memory_limit);
    }
}

// The file found in the program directory; fatal when there is none.
std::string find_config_file(const std::string& program_dir) {
    std::string first = program_dir + "db2KORU.config";
    std::string second = program_dir + "KORU.config";
    struct stat st;
    if (stat(first.c_str(), &st) == 0) return first;
    if (stat(second.c_str(), &st) == 0) return second;
    fatal_startup(err::fatal_configs_unopened, first.c_str(), second.c_str());
}

int open_config_file(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    // A directory opens, but there is nothing to read in it.
    if (fd >= 0 && (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode))) {
        ::close(fd);
        fd = -1;
    }
    if (fd < 0) fatal_startup(err::fatal_config_unopened, path.c_str());
    return fd;
}

// The whole file.  A read error ends the text where it happened and sets
// `failed`.  Plain reads rather than a stdio stream spare the start-up the
// stream's buffers and its own system calls.
std::string read_config_file(int fd, bool& failed) {
    std::string text;
    failed = false;
    char chunk[kLineBuffer];
    for (;;) {
        ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) failed = true;
        if (got <= 0) break;
        text.append(chunk, static_cast<size_t>(got));
    }
    ::close(fd);
    return text;
}

}  // namespace

bool parse_ipv4(const char*& p, uint32_t& out) {
    const char* s = p;
    uint32_t addr = 0;
    for (int i = 0; i < 4; ++i) {
        if (i > 0 && *s++ != '.') return false;
        if (!is_digit(*s)) return false;
        unsigned n = 0;
        for (; is_digit(*s); ++s) {
            n = n * 10 + static_cast<unsigned>(*s - '0');
            if (n > 255) return false;
        }
        addr = (addr << 8) | n;
    }
    p = s;
    out = addr;
    return true;
}

bool debugger_allowed(uint32_t client) {
    if (client == 0 || g_config.debug_port.empty()) return false;
    if (!g_config.has_client_list) return (client >> 24) == 127;
    return std::find(g_config.clients.begin(), g_config.clients.end(), client) != g_config.clients.end();
}

bool config_prepare_value(std::string_view raw, std::string& out) {
    std::string_view v = trim(raw);
    if (!v.empty() && (v[0] == '"' || v[0] == '\'')) return unquote(v, out);
    out.assign(strip_comments(v));
    return true;
}

void config_line(std::string_view line) {
    line = line.substr(0, line.find('\r'));
    line = line.substr(0, line.find('\n'));
    line = trim(line);
    if (line.empty() || line[0] == ';' || line[0] == '#') return;
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) return;
    std::string key = upper_ascii(trim(line.substr(0, eq)));
    std::string_view raw = line.substr(eq + 1);
    if (key.empty()) return;
    if (key == "VAR") {
        g_config.vars.emplace_back(raw);
        return;
    }
    if (key == "INCLUDE") return add_include(raw);
    if (key == "CLIENT") return add_clients(raw);
    std::string value;
    if (!config_prepare_value(raw, value)) fatal_startup(err::fatal_config_format);
    apply_prepared(key, value);
}

void config_load(const std::string& program_dir) {
    std::string path = find_config_file(program_dir);
    bool failed;
    std::string text = read_config_file(open_config_file(path), failed);
    g_config.path = path;
    // The file is taken in the pieces a line buffer of kLineBuffer bytes
    // gives: a piece ends after a line end or at kLineBuffer - 1 bytes, so a
    // longer line is taken as several lines.  A piece ends at a NUL byte.
    std::string_view rest = text;
    while (!rest.empty()) {
        size_t end = rest.substr(0, kLineBuffer - 1).find('\n');
        size_t n = end == std::string_view::npos ? std::min(rest.size(), kLineBuffer - 1) : end + 1;
        std::string_view piece = rest.substr(0, n);
        rest.remove_prefix(n);
        // After a read error the piece being read when it came is lost.
        if (failed && rest.empty() && piece.back() != '\n' && piece.size() < kLineBuffer - 1) break;
        config_line(piece.substr(0, piece.find('\0')));
    }
}

}  // namespace koru
