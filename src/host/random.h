// koru's pseudo-random generator.  Tokens issued by earlier installations
// depend on it bit for bit, so it is the classic linear congruential
// generator with 15-bit results, never the C library's rand.
#pragma once
#include <cstdint>

namespace koru {

struct RandomState {
    uint32_t state = 1;  // an unseeded generator behaves as if seeded with 1
    void reset() { state = 1; }
};

void random_seed(uint32_t seed);
// The next draw, 0 to 32767.
int random_draw();

}  // namespace koru

#include "host/engine.h"  // g_random: the engine owns the part declared here
