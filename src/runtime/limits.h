// The limits of one request: processor time (CPU_LIMIT) and the memory the
// allocators take from the system (MEMORY_LIMIT).  Passing either ends the
// request with an error that no try statement takes.
//
// Processor time is watched by a timer whose signal only sets a flag; the
// interpreter tests the flag where a runaway spends its time (loop
// back-edges, call entry, eval and template expansion, the pattern matcher,
// sort) and raises there.  Memory is counted at the points where the
// allocators take pages and large blocks from the system, and passing the
// limit raises at once, before the memory is taken.
#pragma once
#include <csignal>
#include <cstddef>
#include <cstdint>

#include "host/engine.h"
#include "host/error_catalogue.h"

namespace koru {

constexpr int kCpuLimitCode = err::cpu_limit.code;
constexpr int kMemoryLimitCode = err::memory_limit.code;

// Raises the error of the limit passed (to the host, past every try).
[[noreturn]] void raise_limit_passed();

// The test at the interpreter's check points: one load and a branch.
inline void check_limits() {
    if (g_limit_passed) [[unlikely]]
        raise_limit_passed();
}

[[noreturn]] void memory_limit_passed();

// Called before the allocators take n bytes from the system.
inline void memory_taking(size_t n) {
    if (g_memory_count.taken + n > g_memory_count.cap) [[unlikely]]
        memory_limit_passed();
    g_memory_count.taken += n;
}
// Called when a block goes back to the system.
inline void memory_given_back(size_t n) { g_memory_count.taken -= n < g_memory_count.taken ? n : g_memory_count.taken; }

// Starts the watch for this request (0: no limit).  The processor-time
// timer counts from now; as a backstop for a run stuck where no check
// happens, the process's own CPU limit is lowered to a few seconds more.
void limits_arm(uint32_t cpu_seconds, uint32_t memory_mb);
// Stops the timer and clears the flag and the cap (a fresh process; the
// count itself follows the allocators, see memory_reset).
void limits_reset();

// Seconds above CPU_LIMIT at which the system ends the process.
constexpr unsigned kCpuBackstopSeconds = 3;

}  // namespace koru
