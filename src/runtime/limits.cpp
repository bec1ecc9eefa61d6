#include "runtime/limits.h"

#include <sys/resource.h>
#include <sys/time.h>

#include "host/errors.h"

namespace koru {


namespace {

void on_cpu_timer(int) {
    if (!g_limit_passed) g_limit_passed = kCpuLimitCode;
}

// Lowers RLIMIT_CPU to the limit plus the backstop margin; never raises it.
void lower_cpu_rlimit(uint32_t cpu_seconds) {
    rusage used{};
    getrusage(RUSAGE_SELF, &used);
    rlim_t spent = static_cast<rlim_t>(used.ru_utime.tv_sec + used.ru_stime.tv_sec) + 1;
    rlim_t soft = spent + cpu_seconds + kCpuBackstopSeconds;
    rlimit r{};
    if (getrlimit(RLIMIT_CPU, &r) != 0) return;
    if (r.rlim_cur != RLIM_INFINITY && r.rlim_cur <= soft) return;
    // The soft limit sends SIGXCPU, which ends the process; the hard limit
    // a second later is SIGKILL, for a process that blocks the signal.
    rlim_t hard = soft + 1;
    if (r.rlim_max != RLIM_INFINITY && r.rlim_max < hard) hard = r.rlim_max;
    if (soft > hard) soft = hard;
    r.rlim_cur = soft;
    r.rlim_max = hard;
    setrlimit(RLIMIT_CPU, &r);
}

}  // namespace

void raise_limit_passed() {
    if (g_limit_passed == kMemoryLimitCode) raise_to_host(err::memory_limit);
    raise_to_host(err::cpu_limit);
}

void memory_limit_passed() {
    // The error report, the journal and the end sequence still need memory:
    // from here on the request only ends.
    g_memory_count.cap = SIZE_MAX;
    if (!g_limit_passed) g_limit_passed = kMemoryLimitCode;
    raise_limit_passed();
}

void limits_arm(uint32_t cpu_seconds, uint32_t memory_mb) {
    if (memory_mb) g_memory_count.cap = static_cast<size_t>(memory_mb) << 20;
    if (!cpu_seconds) return;
    struct sigaction sa {};
    sa.sa_handler = on_cpu_timer;
    sa.sa_flags = SA_RESTART;
    sigemptyset(&sa.sa_mask);
    if (sigaction(SIGPROF, &sa, nullptr) != 0) return;
    itimerval t{};
    t.it_value.tv_sec = static_cast<time_t>(cpu_seconds);
    if (setitimer(ITIMER_PROF, &t, nullptr) != 0) return;
    g_limits.timer_armed = true;
    lower_cpu_rlimit(cpu_seconds);
}

void limits_reset() {
    if (g_limits.timer_armed) {
        itimerval off{};
        setitimer(ITIMER_PROF, &off, nullptr);
        g_limits.timer_armed = false;
    }
    g_limit_passed = 0;
    g_memory_count.cap = SIZE_MAX;
}

}  // namespace koru
