// The per-request journal: collected in memory during the request and
// appended to the LOGFILE under an exclusive lock at the end, framed by a
// start and an end line, so that each request's block stands whole in a
// file shared by concurrent requests.
#pragma once
#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace koru {

constexpr size_t kJournalStatic = 32768;
// The static area takes a text while used + length stays below this.
constexpr size_t kJournalStaticLimit = 32764;
constexpr size_t kJournalPathMax = 255;

// The static area, kept apart from the rest of the state: see journal.cpp.
extern char g_journal_area[kJournalStatic];

struct JournalState {
    char* const area = g_journal_area;
    size_t used = 0;
    std::vector<std::string> chunks;  // oldest first
    std::string path;                 // empty: no journal
    std::string start_time;           // empty in "-e" mode
    time_t start_clock = 0;           // the start, while not yet in start_time
    bool start_pending = false;
    int attempts = 50;                // exclusive opens tried
    int retry_ms = 100;               // wait between two tries
    bool failing = false;             // an allocation failure is being raised
    void reset() {
        used = 0;
        chunks.clear();
        path.clear();
        start_time.clear();
        start_clock = 0;
        start_pending = false;
        attempts = 50;
        retry_ms = 100;
        failing = false;
    }
};

void journal_append(const char* text, size_t len);
inline void journal_append(std::string_view s) { journal_append(s.data(), s.size()); }
// Appends a text that may carry what a request sent (an error report, a
// console line): control characters but the tab are written as "\xHH", so
// the text cannot break the journal's lines.
void journal_append_escaped(const char* text, size_t len);
inline void journal_append_escaped(std::string_view s) { journal_append_escaped(s.data(), s.size()); }
std::string journal_buffer();  // everything collected so far, in order
void journal_reset();

// The journal file (at most 255 bytes; a longer path is cut).
void journal_set_path(std::string_view path);
// The request's journal name replaces the part after the path's last "/";
// a path without "/" (or no journal at all) stays as it is, and so does a
// path when the name is not allowed (journal_name_allowed).
void journal_replace_file_name(std::string_view name);
bool journal_name_allowed(std::string_view name);

// "%d/%02d/%02d %02d:%02d:%02d" of a local time.
std::string local_time_text(time_t t);
// Records the start time of the request for the start line.  The text is
// made when first needed: reading the local time zone costs a request that
// writes no journal a file read and several fresh pages.
void journal_mark_start(time_t now);
// The start line's time text ("" in "-e" mode).  Anything that changes the
// environment (and so perhaps TZ) calls this first, so that the start keeps
// the zone it had when it was recorded.
const std::string& journal_start_text();

// Appends the collected journal to the file, if one is configured, and
// empties the buffer.  When the file stays locked the buffer is kept and the
// record "S149999" says so.
void journal_write();

}  // namespace koru

#include "host/engine.h"  // g_journal: the engine owns the part declared here
