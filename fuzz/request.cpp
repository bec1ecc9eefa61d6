// A whole request in-process: the input is the request body, a NUL byte and
// one module.  The body's module record names the modules; the first one
// it names is the module from the input (compiled as source, or loaded as
// an object image when the record marks it as one), any further one is a
// module file that cannot be opened.  Then the request runs as the driver
// runs it in test mode (no token check), to a completion or error record.
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "compiler/module.h"
#include "harness.h"
#include "host/config.h"
#include "host/objfile.h"
#include "host/request.h"
#include "run.h"

using namespace koru;

namespace {

constexpr size_t kMaxModule = 64 * 1024;
std::string_view g_module;  // the input's module, for the loader below

// The loader of the real program (host/loader.cpp), with the module's bytes
// taken from the input instead of a file.
void load_input_modules() {
    if (g_modules.loaded) return;
    g_modules.loaded = true;
    for (unsigned i = 0; i < g_modules.size(); ++i) {
        unsigned number = i + 1;
        const ModuleEntry& m = g_modules.entries[i];
        g_errors.compile_path = module_path(number);
        g_errors.compile_line = 1;
        if ((m.from_request && !module_path_is_plain(m.path)) || i > 0)
            raise_parse(err::module_open_failed, m.path.c_str());
        g_errors.module = static_cast<uint8_t>(number);
        if (m.kind == ModuleKind::Object) {
            load_object_image(reinterpret_cast<const uint8_t*>(g_module.data()), g_module.size(), number,
                              module_path(number), g_modules.statements);
        } else {
            g_compiler.module = static_cast<uint8_t>(number);
            // Compiled in place from a copy that ends at its NUL, as a file is.
            std::unique_ptr<char[]> text(new char[g_module.size() + 1]);
            if (!g_module.empty()) std::memcpy(text.get(), g_module.data(), g_module.size());
            text[g_module.size()] = '\0';
            compile_module(module_path(number), text.get(), g_modules.statements);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    std::string_view body = fuzz::split_at_nul(rest);
    if (rest.size() > kMaxModule) return 0;
    fuzz::fuzz_reset();
    g_module = rest;
    g_hooks.load_modules = load_input_modules;
    // The body alone, in a buffer of its exact size.
    std::unique_ptr<char[]> bytes(new char[body.size() ? body.size() : 1]);
    if (!body.empty()) std::memcpy(bytes.get(), body.data(), body.size());
    try {
        parse_request_body(bytes.get(), body.size());
        if (!g_request.top_given || g_request.top_text.empty()) raise_runtime(err::no_top_function);
        if (g_modules.size() == 0) raise_runtime(err::no_module);
        load_input_modules();
    } catch (const Unwind& u) {
        fuzz::require(fuzz::is_error_object(u), "the request raised something other than an error");
        write_error_record(u.value);
        fuzz::fuzz_reset();
        return 0;
    }
    fuzz::run_loaded_request(g_request.top_text);
    fuzz::fuzz_reset();
    return 0;
}
