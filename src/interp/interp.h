// The driver's entry into the interpreter.
//
//   interp_reset();                      // fresh local stack, jump contexts, places
//   for each top-level statement:  value_drop_temp(run_statement(s));
//   g_errors.top_running = true;  value_drop_temp(run_statement(top_call));
//
// Errors and uncaught throws leave run_statement as koru::Unwind (a thrown
// value arrives retained once; an error object with count 0).
#pragma once
#include "runtime/value.h"

namespace koru {

void interp_reset();

// Evaluates one statement at the top level and returns its result, which
// the caller drops.
Value run_statement(Value stmt);

}  // namespace koru
