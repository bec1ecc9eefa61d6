// Back to the state a fresh process has: every subsystem's state reset.
// The program never needs it (one process serves one request); in-process
// tests and fuzzers run many scripts in one process.
#pragma once

namespace koru {

void process_reset();

}  // namespace koru
