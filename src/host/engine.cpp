#include "host/engine.h"

namespace koru {

// Made before every other object with static storage, whatever the order of
// the files: anything a static initialiser may touch (the allocators above
// all) is in place.
[[gnu::init_priority(101)]] Engine g_engine;

}  // namespace koru
