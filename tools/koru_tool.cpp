// koru-tool: helpers for administrators and developers.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s COMMAND ...\n", argv[0]);
        return 2;
    }
    std::fprintf(stderr, "koru-tool: unknown command '%s'\n", argv[1]);
    return 2;
}
