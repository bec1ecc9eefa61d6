// The source compiler on a whole module of up to 64 KB: every input
// compiles or ends in a parse error.  The compiler works in place on a
// NUL-terminated copy, as the loader gives it a module file.
#include <cstring>
#include <memory>
#include <vector>

#include "compiler/module.h"
#include "compiler/state.h"
#include "harness.h"

using namespace koru;

namespace {
constexpr size_t kMaxModule = 64 * 1024;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kMaxModule) return 0;
    fuzz::fuzz_reset();
    // Exactly the module and its NUL, so a read past the end is seen.
    std::unique_ptr<char[]> text(new char[size + 1]);
    if (size) std::memcpy(text.get(), data, size);
    text[size] = '\0';
    std::vector<Value> statements;
    g_compiler.module = 1;
    try {
        compile_module("fuzz.js", text.get(), statements);
    } catch (const Unwind& u) {
        fuzz::require(fuzz::is_error_object(u), "the compiler raised something other than an error");
    }
    fuzz::fuzz_reset();
    return 0;
}
