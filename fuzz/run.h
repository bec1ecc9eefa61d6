// The run of a request once its modules are loaded, through the driver's
// own steps (host/driver.h): the run phase, the predefined names, the
// modules' top-level statements, then the TOP call with runtime errors
// reaching the script's try statements.  The budget is armed first.
#pragma once
#include <string>

#include "db/front/records.h"
#include "harness.h"
#include "host/driver.h"
#include "host/modules.h"
#include "interp/globals.h"
#include "runtime/area.h"

namespace koru::fuzz {

inline void run_loaded_request(const std::string& top_text) {
    arm_budget();
    try {
        enter_run_phase();
        for (uint32_t n = 0; n <= kNull; ++n) global_bind(n, Value(n));
        run_top_level_statements();
        enter_main_script();
        run_top_call(top_text);
        write_completion_record();
    } catch (const Unwind& u) {
        // The error record of whatever reached the host: it must be
        // writable for any value that gets there.
        write_error_record(u.value);
    }
}

}  // namespace koru::fuzz
