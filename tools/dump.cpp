// koru-tool dump FILE.js: the compiled cells of a module as a tree.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "compiler/dump.h"
#include "compiler/state.h"
#include "runtime/area.h"
#include "runtime/symbols.h"

namespace koru {

int tool_dump(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s dump FILE.js\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[2], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "koru-tool: cannot open '%s'\n", argv[2]);
        return 1;
    }
    std::stringstream text;
    text << in.rdbuf();
    symbols_seed();
    g_compiler.module = 1;
    std::vector<Value> statements;
    std::string error = compile_text_for_dump(argv[2], text.str(), statements);
    for (Value v : statements) std::printf("%s\n", dump_tree(v).c_str());
    if (!error.empty()) {
        std::printf("%s\n", error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace koru
