// The compiler's process-wide state: where it is in the text, which module
// it compiles, and the scope lists it keeps while walking statements.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "host/error_catalogue.h"

namespace koru {

struct CompilerState {
    uint32_t line = 1;                 // current line
    const char* line_start = nullptr;  // the last newline passed (or just before the text)
    uint8_t module = 0;                // 1-based number of the module being compiled
    uint8_t suppress_stops = 0;        // 0, or 0x80 to make no cell a stopping point
    bool function_done = false;        // a function literal was just compiled
    bool debug_eval = false;           // compiling debugger text: no function literals

    // Scope lists (symbol numbers).
    std::vector<uint32_t> globals;     // top-level var, function and for-var names
    std::vector<bool> global_by_symbol; // whether a symbol is in `globals`, by its number
    std::vector<uint32_t> locals;      // local names of every open function, nested
    size_t local_base = 0;             // first local of the current function
    bool in_function = false;
    std::vector<uint32_t> block_names; // let/const names of every open block
    size_t block_base = 0;             // first name of the innermost block
    unsigned block_depth = 0;
    unsigned statement_depth = 0;      // statements being compiled inside each other
    unsigned expr_depth = 0;           // expressions being compiled inside each other
    std::string path;                  // the path parse errors name

    void reset() { *this = CompilerState{}; }
};

// Compile-time position word of the byte at p: line in bits 0-15, column in
// bits 16-30 (the line start points at the newline before the line, so the
// first character of a line has column 1).
uint32_t position_of(const char* p);

// Raises the parse error with the compiler's current line.
[[noreturn]] void compile_error(int code, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// The same for a catalogue row (host/error_catalogue.h).
template <err::Id I, typename... A>
[[noreturn]] inline void compile_error(err::Row<I> row, A... args) {
    err::check_args<err::Row<I>, A...>();
    if constexpr (sizeof...(A) == 0) compile_error(row.code, "%s", row.format);
    else compile_error(row.code, row.format, err::pass(args)...);
}
template <typename... A>
[[noreturn]] inline void compile_error(err::Ref<A...> row, std::type_identity_t<A>... args) {
    if constexpr (sizeof...(A) == 0) compile_error(row.code(), "%s", row.format());
    else compile_error(row.code(), row.format(), err::pass(args)...);
}

}  // namespace koru

#include "host/engine.h"  // g_compiler: the engine owns the part declared here
