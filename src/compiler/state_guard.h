// What a run-time compilation (a template, eval, an SQL statement's marker
// expressions) changes in the compiler's state, put back when it ends,
// whether it ends normally or by an error.
#pragma once
#include <cstdint>

#include "compiler/state.h"

namespace koru {

class CompilerStateGuard {
public:
    CompilerStateGuard()
        : module_(g_compiler.module), stops_(g_compiler.suppress_stops), line_(g_compiler.line),
          line_start_(g_compiler.line_start) {}
    ~CompilerStateGuard() {
        g_compiler.module = module_;
        g_compiler.suppress_stops = stops_;
        g_compiler.line = line_;
        g_compiler.line_start = line_start_;
    }
    CompilerStateGuard(const CompilerStateGuard&) = delete;
    CompilerStateGuard& operator=(const CompilerStateGuard&) = delete;

private:
    uint8_t module_, stops_;
    uint32_t line_;
    const char* line_start_;
};

}  // namespace koru
