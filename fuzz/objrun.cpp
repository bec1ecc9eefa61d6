// An object module from the input loaded and then run as a request runs
// it: its top-level statements, then main().  An image the loader accepts
// must run to a result or an error, within the processor and memory budget.
#include "harness.h"
#include "host/objfile.h"
#include "run.h"

using namespace koru;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::fuzz_reset();
    unsigned number = module_add("fuzz.jo", ModuleKind::Object);
    g_modules.loaded = true;
    g_errors.module = static_cast<uint8_t>(number);
    try {
        load_object_image(data, size, number, "fuzz.jo", g_modules.statements);
    } catch (const Unwind& u) {
        fuzz::require(fuzz::is_error_object(u), "the loader raised something other than an error");
        fuzz::fuzz_reset();
        return 0;
    }
    fuzz::run_loaded_request("main");
    fuzz::fuzz_reset();
    return 0;
}
