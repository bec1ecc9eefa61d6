// What every fuzz target shares: the one reset path before and after each
// input, a processor-time and memory budget for code that runs scripts, and
// the checks that turn a broken promise into a crash the fuzzer reports.
//
// Each target defines LLVMFuzzerTestOneInput.  Built with -DKORU_FUZZ=ON it
// links the fuzzing engine; in the ordinary build it links regress_main.cpp
// instead, which feeds it the files of fuzz/regressions/<target>/ and
// fuzz/corpus/<target>/ as a CTest test.
#pragma once
#include <sys/time.h>

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "host/errors.h"
#include "host/modules.h"
#include "host/process.h"
#include "runtime/limits.h"

namespace koru::fuzz {

// A fatal start-up error: the program would end; a target ends the input.
struct FatalStop {
    std::string message;
};

inline void discard_records(const char*, size_t) {}

// Records are counted by the engine but written nowhere; a fatal start-up
// error unwinds to the target instead of ending the process; reports name
// modules as the driver's do.
inline void fuzz_reset() {
    process_reset();
    g_hooks.module_path = module_path;
    g_hooks.record_sink = discard_records;
    g_hooks.fatal_exit = [](const std::string& m) { throw FatalStop{m}; };
}

// A broken promise of the engine: report it as the crash it is.
[[noreturn]] inline void fault(const char* what, std::string_view detail = {}) {
    std::fprintf(stderr, "fuzz fault: %s\n", what);
    if (!detail.empty()) std::fprintf(stderr, "  %.*s\n", static_cast<int>(detail.size()), detail.data());
    std::fflush(stderr);
    std::abort();
}
inline void require(bool ok, const char* what) {
    if (!ok) fault(what);
}

// Script code may loop for ever: the interpreter's own processor-time
// check ends it once the timer has set the flag, as CPU_LIMIT does in the
// program.  The timer is armed here rather than through limits_arm, which
// also lowers the process's hard processor limit (right for one request,
// fatal for a fuzzer that runs millions).  The memory cap is the
// MEMORY_LIMIT check.  process_reset disarms both.
inline void on_budget_timer(int) {
    if (!g_limit_passed) g_limit_passed = kCpuLimitCode;
}

constexpr long kRunMicroseconds = 100000;
constexpr size_t kRunMemoryBytes = size_t{256} << 20;

inline void arm_budget() {
    static bool installed = [] {
        struct sigaction sa {};
        sa.sa_handler = on_budget_timer;
        sa.sa_flags = SA_RESTART;
        sigemptyset(&sa.sa_mask);
        return sigaction(SIGPROF, &sa, nullptr) == 0;
    }();
    if (!installed) return;
    itimerval t{};
    t.it_value.tv_sec = kRunMicroseconds / 1000000;
    t.it_value.tv_usec = kRunMicroseconds % 1000000;
    if (setitimer(ITIMER_PROF, &t, nullptr) == 0) g_limits.timer_armed = true;
    g_memory_count.cap = g_memory_count.taken + kRunMemoryBytes;
}

// An error that reached the top must be an error object or a thrown
// value; either is a fine end for hostile input.
inline bool is_error_object(const Unwind& u) { return u.value.kind() == Kind::Exception; }

// The error code of an error object as a number (0 when it has none).
inline int error_code(const Unwind& u) {
    if (!is_error_object(u)) return -1;
    ErrorView e = error_view(u.value);
    int n = 0;
    for (size_t i = 0; i < e.code_len; ++i) {
        char c = e.code[i];
        if (c < '0' || c > '9') return -2;
        n = n * 10 + (c - '0');
    }
    return n;
}

// Splits the input at its first NUL byte (the rest empty when there is none).
inline std::string_view split_at_nul(std::string_view& rest) {
    size_t nul = rest.find('\0');
    std::string_view head = rest.substr(0, nul);
    // An empty rest still points into the input (never a null pointer).
    rest = nul == std::string_view::npos ? rest.substr(rest.size()) : rest.substr(nul + 1);
    return head;
}

}  // namespace koru::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
