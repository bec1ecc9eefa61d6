// The request driver: start-up order, recovery points, the end sequence.
#pragma once

namespace koru {

// `wire_debugger` sets the debugger link's hook entries (the debugging
// build passes it; the production build passes null and has no link).
int driver_main(int argc, char** argv, void (*wire_debugger)());

}  // namespace koru
