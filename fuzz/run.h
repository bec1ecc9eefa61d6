// The run of a request once its modules are loaded, step for step as the
// driver takes it (host/driver.cpp): the run phase, the predefined names,
// the modules' top-level statements, then the TOP call with runtime errors
// reaching the script's try statements.  The budget is armed first.
#pragma once
#include <string>

#include "compiler/module.h"
#include "compiler/state.h"
#include "db/front/records.h"
#include "harness.h"
#include "host/modules.h"
#include "interp/globals.h"
#include "interp/interp.h"
#include "interp/jumps.h"
#include "runtime/area.h"
#include "runtime/refcount.h"

namespace koru::fuzz {

inline void run_loaded_request(const std::string& top_text) {
    arm_budget();
    try {
        enter_run_phase();
        for (uint32_t n = 0; n <= kNull; ++n) global_bind(n, Value(n));
        for (size_t i = 0; i < g_modules.statements.size(); ++i)
            value_drop_temp(run_statement(g_modules.statements[i]));
        unsigned main_script = module_add("MainScript", ModuleKind::Unstated);
        g_errors.module = static_cast<uint8_t>(main_script);
        g_errors.position = 0;
        g_compiler.module = static_cast<uint8_t>(main_script);
        g_errors.compile_path = "MainScript";
        Value call = parse_top_call(top_text, true);
        value_retain(call);
        g_jumps.reset();
        g_errors.top_running = true;
        value_drop_temp(run_statement(call));
        write_completion_record();
    } catch (const Unwind& u) {
        // The error record of whatever reached the host: it must be
        // writable for any value that gets there.
        write_error_record(u.value);
    }
}

}  // namespace koru::fuzz
