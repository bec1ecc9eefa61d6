// The request body records, as the driver parses them before any module is
// loaded: every input ends in a parsed request or a request error.
#include "harness.h"
#include "host/modules.h"
#include "host/request.h"

using namespace koru;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::fuzz_reset();
    // The input's buffer holds exactly its bytes, so the sanitizer sees a
    // read past the stated end.
    try {
        parse_request_body(reinterpret_cast<const char*>(data), size);
        fuzz::require(g_modules.size() < kMaxModules, "more modules than the table holds");
        if (g_request.top_given) fuzz::require(g_request.top_text.size() <= size, "TOP text longer than the body");
    } catch (const Unwind& u) {
        fuzz::require(fuzz::is_error_object(u), "the request parser raised something other than an error");
    }
    fuzz::fuzz_reset();
    return 0;
}
