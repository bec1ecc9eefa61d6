// The configuration file: KEY=value lines read once at start-up, before the
// request is looked at.  Every failure is a fatal start-up error.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace koru {

// Stored lengths; a longer value is cut to these.
constexpr size_t kModuleDirMax = 511;
constexpr size_t kTokenKeyMax = 64;
constexpr size_t kDebugPortMax = 19;
constexpr unsigned kMaxConfigModules = 127;

struct Config {
    std::string module_dir, logfile, token_key, debug_port = "8777";
    int32_t time_interval = 0;
    // Sealed tokens: the secret the reply's HMAC is keyed with (never
    // written anywhere), and the TOP functions that run without a token.
    std::string token_secret;
    std::vector<std::string> token_free;
    // Limits of one request: seconds of processor time and megabytes of
    // memory; 0 is no limit.
    uint32_t cpu_limit = 0;
    uint32_t memory_limit = 0;
    std::vector<std::string> vars;  // VAR values verbatim, in file order
    bool has_client_list = false;   // a CLIENT line was seen, even an empty one
    std::vector<uint32_t> clients;  // most significant byte first
    std::string path;               // the file that was read
    void reset() { *this = Config{}; }
};

// Reads "db2KORU.config", else "KORU.config", from the program directory
// (which ends with "/").  Returns only on success.
void config_load(const std::string& program_dir);
// Handles one line of the file (already cut at 4095 bytes).
void config_line(std::string_view line);

// Whether the debugging build may connect its debugger link for this
// client address (most significant byte first, 0 when unknown): a debugger
// port must be configured, and the address must be in the CLIENT list; with
// no CLIENT list only a loopback address (127.x.x.x) may, since the address
// can come from a header the client writes.
bool debugger_allowed(uint32_t client);

// Reads a dotted address "a.b.c.d" of four numbers from 0 to 255 at p.  On
// success p is left on the character after the fourth number.
bool parse_ipv4(const char*& p, uint32_t& out);

// The value preparation of the keys other than VAR, INCLUDE and CLIENT:
// trimmed, then either the quoted text or the text before any comment.
// False when a quote is not closed.
bool config_prepare_value(std::string_view raw, std::string& out);

}  // namespace koru

#include "host/engine.h"  // g_config: the engine owns the part declared here
