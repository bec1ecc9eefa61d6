#include "host/process.h"

#include "compiler/state.h"
#include "db/front/records.h"
#include "db/state.h"
#include "host/config.h"
#include "host/errors.h"
#include "host/journal.h"
#include "host/modules.h"
#include "host/random.h"
#include "host/request.h"
#include "host/token.h"
#include "interp/interp.h"
#include "interp/globals.h"
#include "interp/evaluate.h"
#include "interp/jumps.h"
#include "interp/methods.h"
#include "interp/state.h"
#include "runtime/area.h"
#include "runtime/limits.h"
#include "runtime/symbols.h"

namespace koru {

void process_reset() {
    // Open database connections are rolled back and closed before anything
    // else goes (the database layer keeps its own copy of their handles).
    g_db.reset();
    // First forget every value that lives in the pages memory_reset frees:
    // they are not released (their cells may already be gone, when a test
    // reset the memory on its own), only dropped with the pages.
    g_globals.slots.clear();
    g_interp.forget_locals();
    g_interp.jump = Jump::None;
    g_interp.jump_value = kUndefinedValue;
    g_modules.statements.clear();
    // The timer and the cap before memory is given back; then the memory.
    limits_reset();
    memory_reset();
    // Tables indexed by symbol number before the symbols themselves.
    g_globals.reset();
    g_symbols.reset();
    symbols_seed();
    g_compiler.reset();
    g_errors.reset();
    g_front.reset();
    g_modules.reset();
    journal_reset();
    g_config.reset();
    g_token.reset();
    g_request.reset();
    g_random.reset();
    // The hooks back to the program's wiring: a test that stops half-way
    // leaves none of its own to the next.
    install_hooks();
    // Last the interpreter: its reset installs the built-ins again, over
    // whatever a test put in their place.
    interp_reset();
}

}  // namespace koru
