// The object-file loader on an image from the input: every image loads or
// is refused with a loader error, and nothing is written outside the pages
// it brings.
#include <vector>

#include "harness.h"
#include "host/objfile.h"

using namespace koru;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::fuzz_reset();
    std::vector<Value> statements;
    try {
        load_object_image(data, size, 1, "fuzz.jo", statements);
    } catch (const Unwind& u) {
        fuzz::require(fuzz::is_error_object(u), "the loader raised something other than an error");
    }
    fuzz::fuzz_reset();
    return 0;
}
