// koru-tool: helpers for administrators and developers.
#include <cstdio>
#include <cstring>

namespace koru {
int tool_dump(int argc, char** argv);
}

namespace {

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
};

constexpr Command kCommands[] = {
    {"dump", koru::tool_dump},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s COMMAND ...\n", argv[0]);
        return 2;
    }
    for (const Command& c : kCommands)
        if (std::strcmp(argv[1], c.name) == 0) return c.run(argc, argv);
    std::fprintf(stderr, "koru-tool: unknown command '%s'\n", argv[1]);
    return 2;
}
