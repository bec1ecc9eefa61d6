// The error routines.  An error never returns to its raise site:
// runtime and parse errors build an Exception object, record the report in
// the journal buffer and unwind (as a C++ exception, so destructors run) to a
// recovery point; a fatal start-up error writes "S148555" and ends the process.
//
// The program raises the rows of the error catalogue (host/error_catalogue.h)
// by name: raise_runtime(err::division_by_zero).  Each routine's form with a
// code and a format is what those calls come down to.
#pragma once
#include <cstdint>
#include <string>
#include <type_traits>

#include "host/error_catalogue.h"
#include "runtime/hooks.h"
#include "runtime/value.h"

namespace koru {

// The unwind to a recovery point.  `target` is the index of the jump context
// that takes it; a recovery point catching it with another index rethrows.
struct Unwind {
    Value value;
    uint32_t target;
};

[[noreturn]] void raise_runtime(int code, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
// A runtime error that ends the request whatever is running: it unwinds to
// the host's recovery point past every try statement (and past a debugger
// evaluation).  For the limits of a request, which a runaway must not catch.
[[noreturn]] void raise_to_host(int code, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
[[noreturn]] void raise_parse(int code, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
[[noreturn]] void fatal_startup(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Raising a catalogue row, named (the arguments are checked against its
// format when the call compiles) or chosen at run time through an err::Ref.
// A row without arguments goes as a "%s" argument, so that its text is never
// read as a format.
template <err::Id I, typename... A>
[[noreturn]] inline void raise_runtime(err::Row<I> row, A... args) {
    err::check_args<err::Row<I>, A...>();
    if constexpr (sizeof...(A) == 0) raise_runtime(row.code, "%s", row.format);
    else raise_runtime(row.code, row.format, err::pass(args)...);
}
template <typename... A>
[[noreturn]] inline void raise_runtime(err::Ref<A...> row, std::type_identity_t<A>... args) {
    if constexpr (sizeof...(A) == 0) raise_runtime(row.code(), "%s", row.format());
    else raise_runtime(row.code(), row.format(), err::pass(args)...);
}

template <err::Id I, typename... A>
[[noreturn]] inline void raise_to_host(err::Row<I> row, A... args) {
    err::check_args<err::Row<I>, A...>();
    if constexpr (sizeof...(A) == 0) raise_to_host(row.code, "%s", row.format);
    else raise_to_host(row.code, row.format, err::pass(args)...);
}

template <err::Id I, typename... A>
[[noreturn]] inline void raise_parse(err::Row<I> row, A... args) {
    err::check_args<err::Row<I>, A...>();
    if constexpr (sizeof...(A) == 0) raise_parse(row.code, "%s", row.format);
    else raise_parse(row.code, row.format, err::pass(args)...);
}

// A fatal start-up row: its message only (the record carries no code).
template <err::Id I, typename... A>
[[noreturn]] inline void fatal_startup(err::Row<I> row, A... args) {
    err::check_args<err::Row<I>, A...>();
    static_assert(err::Row<I>::code == 0, "a fatal start-up row has no code");
    if constexpr (sizeof...(A) == 0) fatal_startup("%s", row.format);
    else fatal_startup(row.format, err::pass(args)...);
}
template <typename... A>
[[noreturn]] inline void fatal_startup(err::Ref<A...> row, std::type_identity_t<A>... args) {
    if constexpr (sizeof...(A) == 0) fatal_startup("%s", row.format());
    else fatal_startup(row.format(), err::pass(args)...);
}

// How a fatal start-up error ends the process.  The program exits; in-process
// tests install a hook that throws instead, so they can look at the result.
struct FatalStartup {
    std::string message;
};

// Error objects (kind 6), shared with the Exception statement.
enum class CodeType : uint8_t { Integer = 0, Text = 1, None = 9 };
Value make_error_object(CodeType type, const char* code, size_t code_len, const char* msg, size_t msg_len);
struct ErrorView {
    CodeType type;
    const char* code;
    uint16_t code_len;
    const char* message;
    uint16_t message_len;
};
ErrorView error_view(Value v);

// Where errors are reported from: the current module and position.
struct ErrorState {
    uint32_t position = 0;        // bits 0-15 line, bits 16-31 column
    uint8_t module = 0;           // index into the module table; 0 = none
    uint32_t compile_line = 0;    // the compiler's current line
    const char* compile_path = "";
    bool top_running = false;     // set just before the TOP call
    bool raised_by_error = false; // set when an error unwinds into a recovery point
    bool debug_eval = false;      // set while the debugger evaluates an expression
    // Set while a raise builds its error object.  An allocation that fails
    // then must not report itself: its report would overwrite the one being
    // made and build another object from the area that has just failed,
    // without end.
    bool building_object = false;
    void reset() { *this = ErrorState{}; }
};

// The report cut: at most this many bytes of report text.
constexpr size_t kReportMax = 16383;

}  // namespace koru

#include "host/engine.h"  // g_errors: the engine owns the part declared here
