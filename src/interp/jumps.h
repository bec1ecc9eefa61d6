// The stack of jump contexts: loops, calls, try statements and switches push
// an entry; break, continue, return, throw and routed errors look for their
// target here.  Entry 0 is the host's recovery point (a try-type entry).
#pragma once
#include <cstdint>
#include <vector>

#include "host/engine.h"

namespace koru {


// The target of an unwind that goes to the debugger's evaluation context.
constexpr uint32_t kDebugEvalTarget = 0xFFFFFFFF;

}  // namespace koru
