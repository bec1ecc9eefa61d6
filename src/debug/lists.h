// The three lists a module's breakpoint text carries, and the commands that
// replace them.  Their text forms:
//   breakpoints   each line number followed by ":"          12:40:
//   conditions    line ":" expression ";" for each entry     7:i == 3;
//   traces        line ":" label ";" and one separator       3:fact;,9:g;,
// An entry that does not read as its form ends the list there.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

#include "debug/state.h"

namespace koru {

void parse_breakpoints(std::string_view text, std::vector<uint16_t>& out);
void parse_traces(std::string_view text, std::vector<Trace>& out);
// Each condition is compiled at once; one that does not compile is told by
// a debug print and keeps line 0, so it never matches.
void parse_conditions(std::string_view text, unsigned module, std::vector<Condition>& out);
// The breakpoint text of a module request: three parts separated by "###"
// and "$$$" (traces, breakpoints, conditions), each beginning with one
// character that is skipped.
void store_module_lists(unsigned module, std::string_view text);

// Compiles debugger text (debug/hooks.cpp); the cells come back retained.
bool compile_debug_text(std::string_view text, unsigned module, uint32_t line, std::vector<Value>& cells,
                        Value& carried);

}  // namespace koru
