// koru-tool dirsum DIR: prints the checksum of the module files under DIR,
// the text an installation writes after ">>>" in its MODULE_DIR line.  DIR
// must be written exactly as in that line: the paths of the listing start
// with it, so "js" and "./js" pin different checksums.
#include <cstdio>
#include <cstring>

#include "commands.h"
#include "host/checksum.h"
#include "host/sha256.h"

int tool_dirsum(int argc, char** argv) {
    bool list = argc == 2 && std::strcmp(argv[0], "-l") == 0;
    if (argc != 1 && !list) {
        std::fputs("usage: koru-tool dirsum [-l] DIR\n", stderr);
        return 2;
    }
    const char* dir = argv[argc - 1];
    auto entries = koru::list_module_files(dir);
    std::string text = koru::listing_text(entries);
    if (list) std::fwrite(text.data(), 1, text.size(), stdout);
    std::printf("%s\n", koru::sha256_hex(text).c_str());
    return 0;
}
