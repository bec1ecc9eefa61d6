#include "host/journal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "db/front/records.h"
#include "host/clock.h"
#include "host/errors.h"

namespace koru {

// Placed after all other zero-initialised data (.lbss follows .bss): most
// requests never write to it, and in the middle of .bss it would spread the
// small variables that every request touches over more pages.
[[gnu::section(".lbss.koru_journal_area")]] char g_journal_area[kJournalStatic];

namespace {

void write_all(int fd, const char* p, size_t len) {
    while (len > 0) {
        ssize_t n = ::write(fd, p, len);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // write errors are not reported
        p += n;
        len -= static_cast<size_t>(n);
    }
}

void write_all(int fd, std::string_view s) { write_all(fd, s.data(), s.size()); }

void sleep_ms(int ms) {
    struct timespec ts{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

// Opens the journal for appending and takes the exclusive lock; -1 when
// another process keeps it through every attempt.
int open_locked(const std::string& path) {
    for (int attempt = 0; attempt < g_journal.attempts; ++attempt) {
        if (attempt > 0) sleep_ms(g_journal.retry_ms);
        int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) continue;
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) return fd;
        ::close(fd);
    }
    return -1;
}

// The static area's text and the new text move to a chunk of their own.
void append_chunk(const char* text, size_t len) {
    std::string chunk;
    chunk.reserve(g_journal.used + len);
    chunk.append(g_journal.area, g_journal.used);
    chunk.append(text, len);
    g_journal.chunks.push_back(std::move(chunk));
    g_journal.used = 0;
}

// Control characters other than the tab: a line break in a text that came
// with the request would let it write journal lines of its own.
bool escaped_in_journal(unsigned char c) { return (c < 0x20 && c != '\t') || c == 0x7F; }

}  // namespace

void journal_append(const char* text, size_t len) {
    if (len == 0) return;
    if (g_journal.used + len < kJournalStaticLimit) {
        std::memcpy(g_journal.area + g_journal.used, text, len);
        g_journal.used += len;
        return;
    }
    try {
        append_chunk(text, len);
    } catch (const std::bad_alloc&) {
        // Reporting the failure appends to the journal again; if that fails
        // too the report is dropped rather than raised without end.
        if (g_journal.failing) return;
        g_journal.failing = true;
        raise_runtime(err::out_of_memory);
    }
}

std::string journal_buffer() {
    std::string all;
    for (const std::string& c : g_journal.chunks) all += c;
    all.append(g_journal.area, g_journal.used);
    return all;
}

void journal_reset() { g_journal.reset(); }

void journal_set_path(std::string_view path) { g_journal.path.assign(path.substr(0, kJournalPathMax)); }

void journal_replace_file_name(std::string_view name) {
    size_t slash = g_journal.path.rfind('/');
    if (g_journal.path.empty() || slash == std::string::npos) return;
    if (!journal_name_allowed(name) || slash + 1 + name.size() > kJournalPathMax) return;
    g_journal.path.resize(slash + 1);
    g_journal.path.append(name);
}

bool journal_name_allowed(std::string_view name) {
    // The request names a journal, never some other file of the folder (a
    // configuration, a module): letters, digits, "-", "_" and ".", no
    // leading ".", and the extension of the configured file.
    size_t slash = g_journal.path.rfind('/');
    std::string_view configured = std::string_view(g_journal.path).substr(slash == std::string::npos ? 0 : slash + 1);
    size_t dot = configured.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return false;
    std::string_view extension = configured.substr(dot);  // ".log"
    if (name.empty() || name[0] == '.' || name.size() <= extension.size()) return false;
    for (char c : name) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
        if (!ok) return false;
    }
    return name.substr(name.size() - extension.size()) == extension;
}

void journal_append_escaped(const char* text, size_t len) {
    size_t i = 0;
    while (i < len && !escaped_in_journal(static_cast<unsigned char>(text[i]))) ++i;
    if (i == len) return journal_append(text, len);
    std::string out(text, i);
    for (; i < len; ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (!escaped_in_journal(c)) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        char esc[8];
        std::snprintf(esc, sizeof esc, "\\x%02X", c);
        out.append(esc);
    }
    journal_append(out);
}

std::string local_time_text(time_t t) {
    struct tm tm;
    if (!localtime_r(&t, &tm)) return "";
    char buf[96];
    std::snprintf(buf, sizeof buf, "%d/%02d/%02d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

void journal_mark_start(time_t now) {
    g_journal.start_time.clear();
    g_journal.start_clock = now;
    g_journal.start_pending = true;
}

const std::string& journal_start_text() {
    if (g_journal.start_pending) {
        g_journal.start_time = local_time_text(g_journal.start_clock);
        g_journal.start_pending = false;
    }
    return g_journal.start_time;
}

void journal_write() {
    if (g_journal.path.empty()) return;
    int fd = open_locked(g_journal.path);
    if (fd < 0) {
        write_journal_failure_record(g_journal.path);
        return;
    }
    write_all(fd, "-----  start : " + journal_start_text() + "  -----\n");
    for (std::string& c : g_journal.chunks) {
        write_all(fd, c);
        std::string().swap(c);
    }
    g_journal.chunks.clear();
    write_all(fd, g_journal.area, g_journal.used);
    g_journal.used = 0;
    write_all(fd, "\n=====  end : " + local_time_text(clock_seconds()) + "  ===== \n");
    ::close(fd);  // releases the lock
}

}  // namespace koru
