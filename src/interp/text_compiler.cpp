// The statement-list compiler as template expansion and eval reach it: the
// text is compiled for the module that is running, at its current line.
#include "interp/text_compiler.h"

#include <string>

#include "compiler/source.h"
#include "compiler/state.h"
#include "compiler/statements.h"
#include "host/errors.h"
#include "interp/evaluate.h"

namespace koru {

namespace {

// Restores the compiler state that a run-time compilation touches.
class CompilerStateGuard {
public:
    CompilerStateGuard() : module_(g_compiler.module), stops_(g_compiler.suppress_stops), line_(g_compiler.line) {}
    ~CompilerStateGuard() {
        g_compiler.module = module_;
        g_compiler.suppress_stops = stops_;
        g_compiler.line = line_;
    }
    CompilerStateGuard(const CompilerStateGuard&) = delete;
    CompilerStateGuard& operator=(const CompilerStateGuard&) = delete;

private:
    uint8_t module_, stops_;
    uint32_t line_;
};

}  // namespace

void compile_text_statements(const char* text, size_t len, bool no_stops, std::vector<Value>& out) {
    CompilerStateGuard guard;
    std::string buf(text, len);
    g_compiler.module = g_errors.module;
    g_compiler.suppress_stops = no_stops ? InstrCell::kNoStop : 0;
    uint32_t line = g_errors.position & 0xFFFF;
    begin_text(buf.data(), line ? line : 1);
    g_errors.compile_line = line;
    strip_comments(buf.data());
    compile_statements(buf.data(), out, false);
}

}  // namespace koru
