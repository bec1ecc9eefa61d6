#include "host/process.h"

#include "compiler/state.h"
#include "db/front/records.h"
#include "host/config.h"
#include "host/errors.h"
#include "host/journal.h"
#include "host/modules.h"
#include "host/request.h"
#include "host/token.h"
#include "interp/interp.h"
#include "interp/globals.h"
#include "interp/jumps.h"
#include "runtime/area.h"
#include "runtime/limits.h"
#include "runtime/symbols.h"

namespace koru {

void process_reset() {
    g_globals.slots.clear();  // values live in the pages released below
    limits_reset();
    memory_reset();
    g_globals.reset();
    g_symbols.reset();
    symbols_seed();
    g_errors.reset();
    g_jumps.reset();
    g_front.reset();
    g_modules.reset();
    journal_reset();
    g_compiler.reset();
    interp_reset();
    g_config.reset();
    g_token.reset();
    g_request.reset();
}

}  // namespace koru
