// Program entry: one process serves one request.  The debugging build
// also wires the debugger link into the driver.
#include "host/driver.h"

#if KORU_DEBUGGER
#include "debug/debugger.h"
int main(int argc, char** argv) { return koru::driver_main(argc, argv, koru::debugger_wire); }
#else
int main(int argc, char** argv) { return koru::driver_main(argc, argv, nullptr); }
#endif
