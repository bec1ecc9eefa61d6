// koru-tool dump FILE.js: the compiled cells of a module as a tree.
#include <cstdio>
#include <string>
#include <vector>

#include "compiler/dump.h"
#include "compiler/state.h"
#include "runtime/area.h"
#include "runtime/symbols.h"

#include "commands.h"

using namespace koru;

int tool_dump(int argc, char** argv) {
    if (argc < 1) {
        std::fprintf(stderr, "usage: koru-tool dump FILE.js\n");
        return 2;
    }
    std::string text;
    if (!read_input_file(argv[0], text)) return 1;
    symbols_seed();
    g_compiler.module = 1;
    std::vector<Value> statements;
    std::string error = compile_text_for_dump(argv[0], text, statements);
    for (Value v : statements) std::printf("%s\n", dump_tree(v).c_str());
    if (!error.empty()) {
        std::printf("%s\n", error.c_str());
        return 1;
    }
    return 0;
}
