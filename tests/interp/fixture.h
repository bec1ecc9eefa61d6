// Shared set-up for the interpreter tests: every case compiles a script
// from text into a fresh process state, runs its statements as the driver
// runs the TOP call (errors reach the script's try), and looks at globals,
// records and the journal afterwards.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "compiler/module.h"
#include "compiler/state.h"
#include "db/front/records.h"
#include "host/errors.h"
#include "host/journal.h"
#include "host/objfile.h"
#include "host/objwrite.h"
#include "host/process.h"
#include "interp/globals.h"
#include "interp/interp.h"
#include "runtime/area.h"
#include "runtime/objects.h"
#include "runtime/refcount.h"
#include "runtime/symbols.h"
#include "runtime/text.h"

namespace koru::test {

inline std::string g_records;
inline void capture_records(const char* bytes, size_t len) { g_records.append(bytes, len); }

struct Outcome {
    bool error = false;   // an error object reached the top
    int code = 0;
    std::string message;  // after "EVAL ERROR n (path:l:c) : "
    std::string report;   // the whole text, position included
    bool thrown = false;  // some other value reached the top
    std::string thrown_text;
};

// The one reset path every fixture and fuzz target takes, plus what only
// these tests add: the records captured instead of written.
inline void fresh_process() {
    process_reset();
    g_records.clear();
    g_hooks.record_sink = capture_records;
}

inline Outcome outcome_of(Value carried) {
    Outcome o;
    if (carried.kind() == Kind::Exception) {
        ErrorView v = error_view(carried);
        o.error = true;
        std::string code(v.code, v.code_len);
        o.code = code.empty() ? 0 : std::stoi(code);
        std::string report(v.message, v.message_len);
        o.report = report;
        size_t colon = report.find(" : ");
        o.message = colon == std::string::npos ? report : report.substr(colon + 3);
    } else {
        o.thrown = true;
        write_plain(carried, o.thrown_text);
    }
    return o;
}

// How run_script brings the compiled script into the process.  The
// environment variable KORU_TEST_OBJECT_IMAGE sends every script through an
// object image instead: "stored" or "compressed", loaded first (the image's
// symbol table replaces the process's), or with "-merged" after a source
// module (its names are merged).
struct ImageRoute {
    bool image = false, compressed = false, merged = false;
};

inline ImageRoute image_route() {
    const char* e = std::getenv("KORU_TEST_OBJECT_IMAGE");
    std::string r = e ? e : "";
    return {!r.empty(), r.rfind("compressed", 0) == 0, r.find("-merged") != std::string::npos};
}

// A module compiled before the image in the merged route: names of its own,
// so the image's symbol numbers must be translated and its pages shifted.
inline constexpr const char* kPreludeModule =
    "var objPreludeA = 'p'; function objPreludeF(objPreludeX, y) { return [objPreludeX, y, {objPreludeK: 1}]; }";

// Writes the compiled statements as an image, resets memory, symbols and
// globals, and loads the image (after the prelude module when merged).
inline void reload_through_image(std::vector<Value>& statements, ImageRoute route) {
    std::vector<uint8_t> image = write_object_image(statements, g_compiler.globals, route.compressed);
    statements.clear();
    g_globals.slots.clear();
    memory_reset();
    g_globals.reset();
    g_symbols.reset();
    symbols_seed();
    g_compiler.reset();
    unsigned module = 1;
    if (route.merged) {
        std::string prelude = kPreludeModule;
        g_compiler.module = 1;
        std::vector<Value> prelude_statements;
        compile_module("prelude.js", prelude.data(), prelude_statements);
        module = 2;
    }
    load_object_image(image.data(), image.size(), module, "t.jo", statements);
}

// Compiles and runs `source` as the TOP call runs (errors go to the
// script's try statements).
inline Outcome run_script(const std::string& source, bool top_running = true) {
    std::string text = source;
    std::vector<Value> statements;
    g_compiler.module = 1;
    try {
        compile_module("t.js", text.data(), statements);
        if (ImageRoute route = image_route(); route.image) reload_through_image(statements, route);
    } catch (const Unwind& u) {
        return outcome_of(u.value);
    }
    enter_run_phase();
    g_errors.top_running = top_running;
    try {
        for (Value s : statements) value_drop_temp(run_statement(s));
    } catch (const Unwind& u) {
        return outcome_of(u.value);
    }
    return {};
}

// The quoted display form of a global variable.
inline std::string global_text(const char* name) {
    int64_t sym = symbol_lookup(name, std::strlen(name));
    if (sym < 0) return "<no symbol>";
    int64_t slot = global_find(static_cast<uint32_t>(sym));
    if (slot < 0) return "<unbound>";
    std::string out;
    write_display(g_globals.slots[slot].value, out, true);
    return out;
}

inline Kind global_kind(const char* name) {
    int64_t sym = symbol_lookup(name, std::strlen(name));
    int64_t slot = sym < 0 ? -1 : global_find(static_cast<uint32_t>(sym));
    return slot < 0 ? Kind::None4 : g_globals.slots[slot].value.kind();
}

class InterpTest : public ::testing::Test {
protected:
    void SetUp() override { fresh_process(); }
    void TearDown() override { g_hooks.record_sink = nullptr; }
};

// One table row: a script and the display form of its global r.
struct Case {
    const char* script;
    const char* expected;
};

// One table row: a script and the error code it ends with.
struct ErrorCase {
    const char* script;
    int code;
};

// Each script runs after `prelude` (shared definitions).
inline void check_cases(const std::string& prelude, const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        fresh_process();
        Outcome o = run_script(prelude + c.script);
        EXPECT_FALSE(o.error) << c.script << "\n  error " << o.code << ": " << o.message;
        EXPECT_FALSE(o.thrown) << c.script << "\n  threw " << o.thrown_text;
        EXPECT_EQ(global_text("r"), c.expected) << c.script;
    }
}
inline void check_cases(const std::vector<Case>& cases) { check_cases("", cases); }

// A script whose error has the code and whose report names the position `at`
// (":line:column)").
struct PositionCase {
    const char* script;
    int code;
    const char* at;
};

inline void check_error_positions(const std::vector<PositionCase>& cases) {
    for (const PositionCase& c : cases) {
        fresh_process();
        Outcome o = run_script(c.script);
        EXPECT_TRUE(o.error) << c.script;
        EXPECT_EQ(o.code, c.code) << c.script;
        EXPECT_NE(o.report.find(c.at), std::string::npos) << c.script << "\n  " << o.report;
    }
}

inline void check_errors(const std::vector<ErrorCase>& cases) {
    for (const ErrorCase& c : cases) {
        fresh_process();
        Outcome o = run_script(c.script);
        EXPECT_TRUE(o.error) << c.script;
        EXPECT_EQ(o.code, c.code) << c.script << "\n  " << o.message;
    }
}

}  // namespace koru::test
