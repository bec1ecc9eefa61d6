#include "strings/regex/fail.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "host/errors.h"

namespace koru::regex {

void fail(RaiseAs how, int code, const char* fmt, ...) {
    va_list ap, again;
    va_start(ap, fmt);
    va_copy(again, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    std::string msg(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0) std::vsnprintf(msg.data(), msg.size() + 1, fmt, again);
    va_end(again);
    if (how == RaiseAs::Parse) raise_parse(code, "%s", msg.c_str());
    raise_runtime(code, "%s", msg.c_str());
}

}  // namespace koru::regex
