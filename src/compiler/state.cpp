#include "compiler/state.h"

#include <cstdarg>
#include <cstdio>

#include "host/errors.h"

namespace koru {


uint32_t position_of(const char* p) {
    uint32_t column = g_compiler.line_start ? static_cast<uint32_t>(p - g_compiler.line_start) : 0;
    return ((column << 16) & 0x7FFFFFFF) | (g_compiler.line & 0xFFFF);
}

void compile_error(int code, const char* fmt, ...) {
    char msg[2048];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(msg, sizeof msg, fmt, ap);
    va_end(ap);
    g_errors.compile_line = g_compiler.line;
    raise_parse(code, "%s", msg);
}

}  // namespace koru
