// koru-tool: helpers for administrators and developers.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <cstring>

#include "commands.h"

namespace {

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
    const char* usage;
};

constexpr Command kCommands[] = {
    {"dirsum", tool_dirsum, "dirsum [-l] DIR  the checksum that MODULE_DIR=DIR>>>... pins"},
    {"dump", tool_dump, "dump FILE.js     the compiled cells of a module as a tree"},
    {"objfile", tool_objfile, "objfile [--compress] IN.js OUT.jo  the module as an object image"},
    {"debug", tool_debug, "debug [--port N] [--listen ADDR] [--modules DIR] [--wait S]  a console for koru-debug"},
};

int usage(const char* program) {
    std::fprintf(stderr, "usage: %s COMMAND ...\n", program);
    for (const Command& c : kCommands) std::fprintf(stderr, "  %s\n", c.usage);
    return 2;
}

}  // namespace

bool read_input_file(const char* path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "koru-tool: cannot open '%s'\n", path);
        return false;
    }
    std::stringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
    return true;
}

int main(int argc, char** argv) {
    if (argc < 2) return usage(argv[0]);
    for (const Command& c : kCommands)
        if (std::strcmp(argv[1], c.name) == 0) return c.run(argc - 2, argv + 2);
    std::fprintf(stderr, "koru-tool: unknown command '%s'\n", argv[1]);
    return usage(argv[0]);
}
