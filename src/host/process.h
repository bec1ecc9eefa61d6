// Back to the state of a fresh process: every subsystem's state reset, in
// one order, by this one path.  The program never needs it (one process
// serves one request); in-process tests and fuzzers run many scripts in one
// process, and every fixture and fuzz target starts each run through it.
#pragma once

namespace koru {

void process_reset();

// Fills the hooks with the program's wiring (host/hooks.cpp): every entry
// a lower layer calls upward, and null for those that who runs the request
// sets (the driver, a debugger, a test).
void install_hooks();

}  // namespace koru
