#include "interp/interp.h"

#include "builtins/install.h"
#include "interp/evaluate.h"
#include "interp/jumps.h"
#include "interp/state.h"
#include "interp/text_compiler.h"

namespace koru {

void interp_reset() {
    g_interp.reset();
    g_jumps.reset();
    builtins_install();
}

Value run_statement(Value stmt) {
    Value result = kUndefinedValue;
    try {
        result = evaluate(stmt);
    } catch (const JumpEscape&) {
    }
    // A jump always finds its target below the host's entry or is refused
    // where it is made, so nothing can be left pending here.
    clear_jump();
    return result;
}

}  // namespace koru
