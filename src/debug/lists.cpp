#include "debug/lists.h"

#include <string>

#include "debug/link.h"
#include "runtime/refcount.h"

namespace koru {

namespace {

// A line number of 1 to 5 digits that fits 16 bits, then `end`.
bool read_line(std::string_view& s, uint16_t& line, char end) {
    size_t i = 0;
    uint32_t n = 0;
    while (i < s.size() && i < 5 && s[i] >= '0' && s[i] <= '9') n = n * 10 + static_cast<uint32_t>(s[i++] - '0');
    if (i == 0 || n > 0xFFFF || i >= s.size() || s[i] != end) return false;
    line = static_cast<uint16_t>(n);
    s.remove_prefix(i + 1);
    return true;
}

// At most n bytes of s, cut at a whole UTF-8 character.
std::string first_bytes(std::string_view s, size_t n) {
    if (s.size() <= n) return std::string(s);
    while (n > 0 && (static_cast<uint8_t>(s[n]) & 0xC0) == 0x80) --n;
    return std::string(s.substr(0, n));
}

}  // namespace

void parse_breakpoints(std::string_view text, std::vector<uint16_t>& out) {
    out.clear();
    uint16_t line;
    while (!text.empty() && read_line(text, line, ':')) out.push_back(line);
}

void parse_traces(std::string_view text, std::vector<Trace>& out) {
    out.clear();
    uint16_t line;
    while (!text.empty() && read_line(text, line, ':')) {
        size_t semi = text.find(';');
        if (semi == std::string_view::npos) break;
        out.push_back(Trace{line, std::string(text.substr(0, semi))});
        text.remove_prefix(semi + 1);
        if (!text.empty()) text.remove_prefix(1);  // the separator
    }
}

void parse_conditions(std::string_view text, unsigned module, std::vector<Condition>& out) {
    for (Condition& c : out)
        for (Value v : c.cells) value_release(v);
    out.clear();
    uint16_t line;
    while (!text.empty() && read_line(text, line, ':')) {
        size_t semi = text.find(';');
        if (semi == std::string_view::npos) break;
        std::string_view expr = text.substr(0, semi);
        text.remove_prefix(semi + 1);
        Condition c;
        Value carried;
        if (compile_debug_text(expr, module, line, c.cells, carried)) {
            c.line = line;
        } else {
            for (Value v : c.cells) value_release(v);
            c.cells.clear();
            link_send_quiet("D評価する式が不正 '" + first_bytes(expr, 100) + "'");
        }
        out.push_back(std::move(c));
    }
}

void store_module_lists(unsigned module, std::string_view text) {
    if (module >= kDebugModules) return;
    size_t hashes = text.find("###");
    size_t dollars = hashes == std::string_view::npos ? hashes : text.find("$$$", hashes + 3);
    if (dollars == std::string_view::npos) return;
    auto part = [](std::string_view p) { return p.empty() ? p : p.substr(1); };
    parse_traces(part(text.substr(0, hashes)), g_debugger.traces[module]);
    parse_breakpoints(part(text.substr(hashes + 3, dollars - hashes - 3)), g_debugger.breaks[module]);
    parse_conditions(part(text.substr(dollars + 3)), module, g_debugger.conditions[module]);
}

}  // namespace koru
