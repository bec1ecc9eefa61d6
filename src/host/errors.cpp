#include "host/errors.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "db/front/records.h"
#include "host/journal.h"
#include "interp/jumps.h"
#include "runtime/area.h"

namespace koru {


namespace {


// The shared report buffer (16384 bytes, a report is cut to 16383).  Like
// the journal's static area it is placed after all other zero-initialised
// data, so that it does not spread the small variables over more pages.
[[gnu::section(".lbss.koru_report")]] char g_report[kReportMax + 1];

const char* module_path(unsigned module) {
    const char* p = g_hooks.module_path ? g_hooks.module_path(module) : nullptr;
    return p ? p : "";
}

// Formats prefix + message into the report buffer; returns the length.
size_t format_report(const char* prefix, const char* fmt, va_list ap) {
    int n = std::snprintf(g_report, sizeof g_report, "%s", prefix);
    size_t used = n < 0 ? 0 : std::min<size_t>(static_cast<size_t>(n), kReportMax);
    if (used < kReportMax) {
        int m = std::vsnprintf(g_report + used, sizeof g_report - used, fmt, ap);
        if (m > 0) used = std::min<size_t>(used + static_cast<size_t>(m), kReportMax);
    }
    g_report[used] = '\0';
    return used;
}

size_t error_object_size(CodeType type, size_t code_len, size_t msg_len) {
    size_t need = type == CodeType::Integer ? msg_len + 36 : msg_len + code_len + 16;
    return std::max(need, 8 + code_len + 1 + msg_len + 1);
}

Value fill_error_object(AreaBlock b, CodeType type, const char* code, size_t code_len, const char* msg,
                        size_t msg_len) {
    auto* p = static_cast<uint8_t*>(b.ptr);
    p[0] = static_cast<uint8_t>(Kind::Exception);
    p[1] = static_cast<uint8_t>(type);
    uint16_t ml = static_cast<uint16_t>(msg_len), cl = static_cast<uint16_t>(code_len);
    std::memcpy(p + 2, &ml, 2);
    std::memcpy(p + 4, &cl, 2);
    std::memcpy(p + 6, code, code_len);
    p[6 + code_len] = 0;
    p[7 + code_len] = 0;
    std::memcpy(p + 8 + code_len, msg, msg_len);
    p[8 + code_len + msg_len] = 0;
    return Value::area(Kind::Exception, b.addr);
}

// What a raise throws while the error object is being built: the allocator
// has no block for it.
struct NoErrorBlock {};

// The error object of a raise.  When the allocator cannot give it a block
// (the raise reports the allocator's own failure, or the block fails in
// turn) it goes to the allocator's reserve.
Value build_error_object(const char* code, size_t code_len, size_t msg_len) {
    struct Building {
        Building() { g_errors.building_object = true; }
        ~Building() { g_errors.building_object = false; }
    } building;
    try {
        AreaBlock b = area_alloc(error_object_size(CodeType::Integer, code_len, msg_len));
        return fill_error_object(b, CodeType::Integer, code, code_len, g_report, msg_len);
    } catch (const NoErrorBlock&) {
    } catch (const std::bad_alloc&) {
    }
    static_assert(kReportMax + 36 <= kErrorReserveBytes, "a whole report fits in the reserve");
    return fill_error_object(area_error_reserve(), CodeType::Integer, code, code_len, g_report, msg_len);
}

// Builds the error object and records the report; returns the reference.
Value report_error(int code, size_t len) {
    char code_text[24];
    int cl = std::snprintf(code_text, sizeof code_text, "%d", code);
    Value err = build_error_object(code_text, static_cast<size_t>(cl), len);
    journal_append_escaped(g_report, len);
    journal_append("\n", 1);
    return err;
}

[[noreturn]] void unwind(Value err, uint32_t target) { throw Unwind{err, target}; }

}  // namespace


Value make_error_object(CodeType type, const char* code, size_t code_len, const char* msg, size_t msg_len) {
    if (msg_len > 0xFFFF) msg_len = 0xFFFF;
    if (code_len > 0xFFFF) code_len = 0xFFFF;
    return fill_error_object(area_alloc(error_object_size(type, code_len, msg_len)), type, code, code_len, msg,
                             msg_len);
}

ErrorView error_view(Value v) {
    auto* p = static_cast<const uint8_t*>(area_ptr(v.area_addr()));
    uint16_t ml, cl;
    std::memcpy(&ml, p + 2, 2);
    std::memcpy(&cl, p + 4, 2);
    return {static_cast<CodeType>(p[1]), reinterpret_cast<const char*>(p + 6), cl,
            reinterpret_cast<const char*>(p + 8 + cl), ml};
}

namespace {

// The common part of the two raising routines, once the report is in the
// buffer: the error object,
// the journal and the debugger's view; then the unwind to the recovery point
// (a try of the TOP call for runtime errors, the host for parse errors).
// Where a raised error goes: a try (runtime errors during the TOP call),
// the host (parse errors, and runtime errors before the TOP call), or the
// host whatever runs (a request's limit).
enum class Route { Try, Host, HostAlways };

[[noreturn]] void raise_report(int code, size_t len, Route route) {
    Value err = report_error(code, len);
    if (g_errors.debug_eval && route != Route::HostAlways) unwind(err, kDebugEvalTarget);
    if (g_hooks.debug_print) g_hooks.debug_print(g_report, len);
    if (route != Route::Try || !g_errors.top_running) unwind(err, 0);
    g_errors.raised_by_error = true;
    unwind(err, g_jumps.innermost_try());
}

// The report of a runtime error: the prefix with the current module and
// position, then the message.  Returns the length.
size_t format_runtime_report(int code, const char* fmt, va_list ap) {
    char prefix[600];
    std::snprintf(prefix, sizeof prefix, "EVAL ERROR %d (%s:%d:%d) : ", code, module_path(g_errors.module),
                  static_cast<int>(g_errors.position & 0xFFFF), static_cast<int>(g_errors.position >> 16));
    return format_report(prefix, fmt, ap);
}

}  // namespace

void raise_runtime(int code, const char* fmt, ...) {
    if (g_errors.building_object) throw NoErrorBlock{};
    va_list ap;
    va_start(ap, fmt);
    size_t len = format_runtime_report(code, fmt, ap);
    va_end(ap);
    raise_report(code, len, Route::Try);
}

void raise_to_host(int code, const char* fmt, ...) {
    if (g_errors.building_object) throw NoErrorBlock{};
    va_list ap;
    va_start(ap, fmt);
    size_t len = format_runtime_report(code, fmt, ap);
    va_end(ap);
    raise_report(code, len, Route::HostAlways);
}

void raise_parse(int code, const char* fmt, ...) {
    if (g_errors.building_object) throw NoErrorBlock{};
    char prefix[600];
    std::snprintf(prefix, sizeof prefix, "PARSE ERROR %d (%s:%d) : ", code, g_errors.compile_path,
                  static_cast<int>(g_errors.compile_line));
    va_list ap;
    va_start(ap, fmt);
    size_t len = format_report(prefix, fmt, ap);
    va_end(ap);
    raise_report(code, len, Route::Host);
}

void fatal_startup(const char* fmt, ...) {
    char msg[4096];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(msg, sizeof msg, fmt, ap);
    va_end(ap);
    std::string message(msg, n < 0 ? 0 : std::min<size_t>(static_cast<size_t>(n), sizeof msg - 1));
    if (g_hooks.fatal_exit) g_hooks.fatal_exit(message);  // tests: throws
    if (g_front.eval_mode) {
        // On a console the record stream is silent, so say it plainly.
        std::fwrite(message.data(), 1, message.size(), stdout);
        std::fputc('\n', stdout);
    } else {
        write_fatal_record(message);
    }
    journal_write();
    std::fflush(stdout);
    std::fclose(stdout);
    std::_Exit(0);
}

}  // namespace koru
