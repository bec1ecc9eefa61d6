// The debugger's mutable state: one object, which exists only in the
// debugging build.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/value.h"

namespace koru {

constexpr int kNoSocket = -1;
constexpr unsigned kDebugModules = 256;

// A breakpoint condition: its line (0 when it did not compile, so that it
// never matches) and its compiled statements (retained).
struct Condition {
    uint16_t line = 0;
    std::vector<Value> cells;
};

// A traced function: a line its range must contain and the label of its
// "A" and "R" messages.
struct Trace {
    uint16_t line = 0;
    std::string label;
};

// One active script call, outermost first.  `scope_*` is the caller's view
// of the variables while this call is not the innermost: saved when the
// next call starts.
struct CallRecord {
    uint8_t module = 0;
    uint32_t line = 0, column = 0;
    std::string name;
    uint64_t id = 0;              // tells nested calls of one function apart
    bool stepping_at_entry = false;
    // Where the call's parameters start on the local stack, and how many.
    uint32_t enter_top = 0;
    Value fn;
    const Trace* trace = nullptr; // the traced entry whose range holds it
    bool announce = false;        // its "A" message is still to be sent
    // The scope while a nested call runs (saved at the nested call's entry).
    uint32_t top = 0, frame_base = 0, block_base = 0, scope_depth = 0, param_count = 0, local_count = 0;
};

struct DebugState {
    int socket = kNoSocket;
    bool closed = false;          // once closed the link is not opened again
    std::vector<uint16_t> breaks[kDebugModules];
    std::vector<Condition> conditions[kDebugModules];
    std::vector<Trace> traces[kDebugModules];
    // Stepping.
    bool stepping = false, step_into = false, run = false, step_out = false;
    uint64_t step_out_id = 0;
    std::vector<CallRecord> calls;
    uint64_t next_call_id = 1;
    // Set while the stop loop runs or a condition is evaluated: the
    // instructions the debugger runs itself never stop.
    bool busy = false;
};

extern DebugState g_debugger;

}  // namespace koru
