// The debugger link of the debugging build: the entry the program's main
// hands to the driver, which sets the link's hook entries.
#pragma once

namespace koru {

// Sets the hook entries of the link (attach, module request, end); the
// interpreter's entries (step, calls, console, debug print) are set when
// the link comes up and cleared when it closes.
void debugger_wire();

}  // namespace koru
