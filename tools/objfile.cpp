// koru-tool objfile [--compress] IN.js OUT.jo: compiles a module and writes
// it as an object image that a request can load instead of the source.
#include <cstdio>
#include <fstream>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/errors.h"
#include "host/objwrite.h"

#include "commands.h"

using namespace koru;

namespace {

int usage() {
    std::fprintf(stderr, "usage: koru-tool objfile [--compress] IN.js OUT.jo\n");
    return 2;
}

// The report of an error raised while compiling.
std::string error_text(const Unwind& u) {
    if (u.value.kind() != Kind::Exception) return "compilation ended with a thrown value";
    ErrorView e = error_view(u.value);
    return std::string(e.message, e.message_len);
}

}  // namespace

int tool_objfile(int argc, char** argv) {
    bool compress = argc > 0 && std::strcmp(argv[0], "--compress") == 0;
    if (compress) {
        --argc;
        ++argv;
    }
    if (argc != 2) return usage();
    std::string text;
    if (!read_input_file(argv[0], text)) return 1;
    std::vector<uint8_t> image;
    try {
        image = compile_object_image(argv[0], text, compress);
    } catch (const Unwind& u) {
        std::fprintf(stderr, "koru-tool: %s\n", error_text(u).c_str());
        return 1;
    } catch (const std::runtime_error& e) {
        std::fprintf(stderr, "koru-tool: %s: %s\n", argv[0], e.what());
        return 1;
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    if (!out.flush()) {
        std::fprintf(stderr, "koru-tool: cannot write '%s'\n", argv[1]);
        return 1;
    }
    return 0;
}
