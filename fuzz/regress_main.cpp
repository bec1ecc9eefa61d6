// The fuzz targets as ordinary programs: each argument is a file or a
// directory of files, and every file is one input to the target's entry
// function.  A fault aborts, so a test that runs the saved inputs of a
// target fails when one of them breaks again.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "harness.h"

namespace {

bool read_file(const std::string& path, std::vector<uint8_t>& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

void collect(const std::string& path, std::vector<std::string>& files) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return;
    if (!S_ISDIR(st.st_mode)) {
        files.push_back(path);
        return;
    }
    DIR* d = opendir(path.c_str());
    if (!d) return;
    while (const dirent* e = readdir(d))
        if (e->d_name[0] != '.') collect(path + "/" + e->d_name, files);
    closedir(d);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) collect(argv[i], files);
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        std::fprintf(stderr, "no inputs found\n");
        return 1;
    }
    std::vector<uint8_t> data;
    for (const std::string& f : files) {
        if (!read_file(f, data)) {
            std::fprintf(stderr, "cannot read %s\n", f.c_str());
            return 1;
        }
        std::fprintf(stderr, "%s\n", f.c_str());
        // An exact-size heap copy, as the fuzzing engine passes its inputs
        // (never a null pointer, even for an empty one).
        std::unique_ptr<uint8_t[]> exact(new uint8_t[data.empty() ? 1 : data.size()]);
        std::copy(data.begin(), data.end(), exact.get());
        LLVMFuzzerTestOneInput(exact.get(), data.size());
    }
    std::printf("%zu inputs ran\n", files.size());
    return 0;
}
