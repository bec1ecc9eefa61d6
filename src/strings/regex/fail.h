// Raising a pattern error through the routine the caller selected.
#pragma once
#include <type_traits>

#include "host/error_catalogue.h"
#include "strings/regex/regex.h"

namespace koru::regex {

[[noreturn]] void fail(RaiseAs how, int code, const char* fmt, ...) __attribute__((format(printf, 3, 4)));

// The same for a catalogue row (host/error_catalogue.h).
template <err::Id I, typename... A>
[[noreturn]] inline void fail(RaiseAs how, err::Row<I> row, A... args) {
    err::check_args<err::Row<I>, A...>();
    if constexpr (sizeof...(A) == 0) fail(how, row.code, "%s", row.format);
    else fail(how, row.code, row.format, err::pass(args)...);
}
template <typename... A>
[[noreturn]] inline void fail(RaiseAs how, err::Ref<A...> row, std::type_identity_t<A>... args) {
    if constexpr (sizeof...(A) == 0) fail(how, row.code(), "%s", row.format());
    else fail(how, row.code(), row.format(), err::pass(args)...);
}

}  // namespace koru::regex
