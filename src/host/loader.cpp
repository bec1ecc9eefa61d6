#include "host/loader.h"

#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "compiler/module.h"
#include "host/config.h"
#include "host/errors.h"
#include "host/modules.h"
#include "host/objfile.h"
#include "host/request.h"

namespace koru {

namespace {

// The file path of a module: MODULE_DIR + "/" + path, or the path alone.
std::string module_file(const std::string& path) {
    std::string full = g_config.module_dir.empty() ? path : g_config.module_dir + "/" + path;
    return full.substr(0, 511);
}

// Reads a whole file; false when it cannot be opened or read.
bool read_file(const std::string& path, std::vector<uint8_t>& out) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    out.clear();
    uint8_t buf[4096];  // a large frame would cost the request its stack pages
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

// A module the request named must be a plain relative path to a regular
// file: nothing outside the module directory, no device, pipe or
// directory.  It is refused before any file is opened.
void check_request_module(const ModuleEntry& m, unsigned number) {
    struct stat st;
    std::string file = module_file(m.path);
    if (module_path_is_plain(m.path) && ::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return;
    g_errors.compile_path = module_path(number);
    g_errors.compile_line = 1;
    raise_parse(err::module_open_failed, file.c_str());
}

void load_object_module(const std::string& path, unsigned number) {
    std::string file = module_file(path);
    std::vector<uint8_t> image;
    // Later parse errors (VAR lines, the TOP text) name the last module
    // loaded, as they do after a source module.
    g_errors.compile_path = module_path(number);
    g_errors.compile_line = 1;
    if (!read_file(file, image)) raise_parse(err::module_open_failed, file.c_str());
    g_errors.module = static_cast<uint8_t>(number);
    load_object_image(image.data(), image.size(), number, module_path(number), g_modules.statements);
}

}  // namespace

void load_modules() {
    if (g_modules.loaded) return;
    g_modules.loaded = true;
    for (unsigned i = 0; i < g_modules.size(); ++i) {
        unsigned number = i + 1;
        const ModuleEntry& m = g_modules.entries[i];
        // A connected debugger may supply the module, unless the request
        // asked for the modules on disk ('L').
        if (g_hooks.module_request && !g_request.read_from_disk && g_hooks.module_request(number)) continue;
        if (m.from_request) check_request_module(m, number);
        if (m.kind == ModuleKind::Object) load_object_module(m.path, number);
        else load_source_module(g_config.module_dir, m.path, number, g_modules.statements);
    }
}

}  // namespace koru
