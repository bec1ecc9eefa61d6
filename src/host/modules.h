// The module table: the script modules of this request, in load order.
// Entries come from "-e" arguments, INCLUDE lines of the configuration and
// the request's module record; the last entry is the "MainScript"
// pseudo-module of the TOP call.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/value.h"

namespace koru {

enum class ModuleKind : uint8_t { Unstated = 0, Source = 1, Object = 2 };

struct ModuleEntry {
    std::string path;
    ModuleKind kind;
    // Named by the request's module record: confined to the module
    // directory (INCLUDE lines and "-e" arguments are the administrator's).
    bool from_request = false;
};

constexpr unsigned kMaxModules = 128;  // 127 modules and the TOP pseudo-module

struct ModuleTable {
    std::vector<ModuleEntry> entries;
    bool loaded = false;
    // The top-level statements of every loaded module, in load order.
    std::vector<Value> statements;
    void reset() {
        entries.clear();
        loaded = false;
        statements.clear();
    }
    size_t size() const { return entries.size(); }
};

// Adds an entry; returns its 1-based module number.  Callers check the limit
// of 127 modules first, each with its own error.
unsigned module_add(std::string path, ModuleKind kind, bool from_request = false);
// A module path a request may name: a relative path of plain segments (no
// empty segment, no "." or "..", no NUL, no leading "/", no "\\").
bool module_path_is_plain(std::string_view path);
// The path of a 1-based module number ("" when there is none).
const char* module_path(unsigned number);

}  // namespace koru

#include "host/engine.h"  // g_modules: the engine owns the part declared here
