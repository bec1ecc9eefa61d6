// Shared set-up for the host tests: fresh subsystem state, fatal errors as
// exceptions, records captured, and a scratch directory removed afterwards.
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "db/front/records.h"
#include "host/config.h"
#include "host/errors.h"
#include "host/journal.h"
#include "host/modules.h"
#include "host/random.h"
#include "host/token.h"

namespace koru::testing {

inline std::string g_records;

inline void capture_record(const char* bytes, size_t len) { g_records.append(bytes, len); }
[[noreturn]] inline void throw_fatal(const std::string& message) { throw FatalStartup{message}; }

class HostTest : public ::testing::Test {
protected:
    std::string dir;  // ends without "/"

    void SetUp() override {
        g_config.reset();
        g_modules.reset();
        g_journal.reset();
        g_token.reset();
        g_random.reset();
        g_front.reset();
        g_records.clear();
        g_hooks.record_sink = capture_record;
        g_hooks.fatal_exit = throw_fatal;
        char tmpl[] = "/tmp/koru-host-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override {
        g_hooks.record_sink = nullptr;
        g_hooks.fatal_exit = nullptr;
        g_journal.reset();
        std::filesystem::remove_all(dir);
    }

    std::string write_file(const std::string& name, const std::string& text) {
        std::string path = dir + "/" + name;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    static std::string read_file(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

// The message of the fatal start-up error that `f` raises ("" when none).
template <typename F>
std::string fatal_message(F&& f) {
    try {
        f();
    } catch (const FatalStartup& e) {
        return e.message;
    }
    return "";
}

}  // namespace koru::testing
