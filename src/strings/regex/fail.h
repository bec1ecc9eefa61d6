// Raising a pattern error through the routine the caller selected.
#pragma once
#include "strings/regex/regex.h"

namespace koru::regex {

[[noreturn]] void fail(RaiseAs how, int code, const char* fmt, ...) __attribute__((format(printf, 3, 4)));

}  // namespace koru::regex
