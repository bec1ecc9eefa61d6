#include <ctime>

#include "host/clock.h"
#include "host_fixture.h"

namespace koru::testing {
namespace {

// The host's clock is the kernel's wall clock in seconds: it agrees with
// the C library's reading taken around it.
TEST(Clock, ReadsTheWallClockInSeconds) {
    for (int i = 0; i < 3; ++i) {
        time_t before = std::time(nullptr);
        time_t now = clock_seconds();
        time_t after = std::time(nullptr);
        EXPECT_LE(before, now);
        EXPECT_LE(now, after);
    }
}

}  // namespace
}  // namespace koru::testing
