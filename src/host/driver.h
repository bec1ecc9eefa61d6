// The request driver: start-up order, recovery points, the end sequence.
#pragma once
#include <string>

namespace koru {

// `wire_debugger` sets the debugger link's hook entries (the debugging
// build passes it; the production build passes null and has no link).
int driver_main(int argc, char** argv, void (*wire_debugger)());

// Steps of the run once the modules are loaded, also taken by the fuzz
// targets that run a request in-process:
// the modules' top-level statements, in order (eval may add to the list);
void run_top_level_statements();
// "MainScript" appended and made current for the TOP call's cells; its number;
unsigned enter_main_script();
// the TOP call parsed from its text and run with the TOP-running flag set,
// so that runtime errors reach the script's try statements.
void run_top_call(const std::string& text);

}  // namespace koru
