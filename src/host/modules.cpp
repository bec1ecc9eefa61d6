#include "host/modules.h"

namespace koru {

ModuleTable g_modules;

unsigned module_add(std::string path, ModuleKind kind) {
    g_modules.entries.push_back(ModuleEntry{std::move(path), kind});
    return static_cast<unsigned>(g_modules.entries.size());
}

const char* module_path(unsigned number) {
    if (number == 0 || number > g_modules.entries.size()) return "";
    return g_modules.entries[number - 1].path.c_str();
}

}  // namespace koru
