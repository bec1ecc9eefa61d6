#include "host/random.h"

namespace koru {


void random_seed(uint32_t seed) { g_random.state = seed; }

int random_draw() {
    // Unsigned arithmetic: the product wraps modulo 2^32.
    g_random.state = g_random.state * 214013u + 2531011u;
    return static_cast<int>((g_random.state >> 16) & 0x7FFF);
}

}  // namespace koru
