// The configuration file, read the way the program reads it at start-up:
// from a KORU.config in the program's directory, in line-buffer pieces.
// Every input ends in a configuration or a fatal start-up error.
//
// The file is written to a private directory that is the working
// directory while it is read, so relative paths (MODULE_DIR with a pinned
// checksum walks its directory) stay inside it; the fuzzer's own relative
// paths (corpus, artifacts) need the working directory back afterwards.  A pinned directory that is absolute or
// climbs out would walk the machine's file system: such inputs are
// skipped.  ENV lines change the process environment; it is put back
// after each input.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "harness.h"
#include "host/config.h"
#include "host/journal.h"

using namespace koru;

extern char** environ;

namespace {

std::string g_dir;  // the program directory, with its final "/"
int g_home = -1;    // the working directory the fuzzer was started in
std::vector<std::pair<std::string, std::string>> g_environment;

// The private directory goes when the run ends.
void remove_private_directory() {
    for (const char* name : {"KORU.config", "db2KORU.config", "m/a.js"}) unlink((g_dir + name).c_str());
    rmdir((g_dir + "m").c_str());
    rmdir(g_dir.c_str());
}

void set_up() {
    char tmpl[] = "/tmp/koru-fuzz-config-XXXXXX";
    if (!mkdtemp(tmpl)) fuzz::fault("no private directory");
    g_dir = std::string(tmpl) + "/";
    std::atexit(remove_private_directory);
    g_home = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (g_home < 0) fuzz::fault("cannot keep the working directory");
    // A small module tree for pinned checksums to walk.
    if (mkdir((g_dir + "m").c_str(), 0700) != 0) fuzz::fault("cannot make the module directory");
    if (FILE* f = std::fopen((g_dir + "m/a.js").c_str(), "w")) {
        std::fputs("function main() { sendToFront('x', 1); }\n", f);
        std::fclose(f);
    }
    for (char** e = environ; *e; ++e) {
        const char* eq = std::strchr(*e, '=');
        if (eq) g_environment.emplace_back(std::string(*e, static_cast<size_t>(eq - *e)), std::string(eq + 1));
    }
}

void restore_environment() {
    clearenv();
    for (const auto& [name, value] : g_environment) setenv(name.c_str(), value.c_str(), 1);
}

// A pinned directory (">>>") may be walked only when it cannot name a place
// outside the working directory.
bool walk_is_confined(std::string_view text) {
    if (text.find(">>>") == std::string_view::npos) return true;
    return text.find('/') == std::string_view::npos && text.find("..") == std::string_view::npos &&
           text.find('~') == std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = (set_up(), true);
    (void)ready;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!walk_is_confined(text)) return 0;
    fuzz::fuzz_reset();
    std::string path = g_dir + "KORU.config";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) fuzz::fault("cannot write the configuration");
    if (size && std::fwrite(data, 1, size, f) != size) fuzz::fault("cannot write the configuration");
    std::fclose(f);
    bool env_touched = text.find('=') != std::string_view::npos;
    if (chdir(g_dir.c_str()) != 0) fuzz::fault("cannot enter the private directory");
    try {
        config_load(g_dir);
        fuzz::require(g_config.module_dir.size() <= kModuleDirMax, "MODULE_DIR longer than its bound");
        fuzz::require(g_config.token_key.size() <= kTokenKeyMax, "TOKEN_KEY longer than its bound");
        fuzz::require(g_config.debug_port.size() <= kDebugPortMax, "DEBUG_PORT longer than its bound");
        fuzz::require(g_config.path == path, "the configuration names another file");
    } catch (const fuzz::FatalStop&) {
        // A fatal start-up error is the program's answer to a bad file.
    } catch (const Unwind& u) {
        fuzz::require(fuzz::is_error_object(u), "the configuration raised something other than an error");
    }
    if (fchdir(g_home) != 0) fuzz::fault("cannot go back to the working directory");
    if (env_touched) restore_environment();
    fuzz::fuzz_reset();
    return 0;
}
