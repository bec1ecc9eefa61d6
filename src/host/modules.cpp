#include "host/modules.h"

namespace koru {


unsigned module_add(std::string path, ModuleKind kind, bool from_request) {
    g_modules.entries.push_back(ModuleEntry{std::move(path), kind, from_request});
    return static_cast<unsigned>(g_modules.entries.size());
}

bool module_path_is_plain(std::string_view path) {
    if (path.empty()) return false;
    size_t start = 0;
    for (;;) {
        size_t slash = path.find('/', start);
        std::string_view seg = path.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
        if (seg.empty() || seg == "." || seg == "..") return false;
        if (slash == std::string_view::npos) break;
        start = slash + 1;
    }
    return path.find('\0') == std::string_view::npos && path.find('\\') == std::string_view::npos;
}

const char* module_path(unsigned number) {
    if (number == 0 || number > g_modules.entries.size()) return "";
    return g_modules.entries[number - 1].path.c_str();
}

}  // namespace koru
