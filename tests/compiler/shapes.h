// Compiling a snippet and showing it in the one-line dump form.
#pragma once
#include <string>
#include <vector>

#include "compiler/dump.h"
#include "fixture.h"

namespace koru::test {

// The top-level statements of `source`, each in the compact form, joined by
// " ; ", or "ERROR <code> <message>".
inline std::string shape(const std::string& source) {
    fresh_compiler();
    std::vector<Value> statements;
    std::string out;
    Raised r = catch_error([&] {
        std::string text = source;
        compile_module("t.js", text.data(), statements);
    });
    if (r.raised) return "ERROR " + std::to_string(r.code) + " " + r.message;
    for (size_t i = 0; i < statements.size(); ++i) {
        if (i) out += " ; ";
        out += dump_compact(statements[i]);
    }
    return out;
}

struct ShapeCase {
    const char* source;
    const char* expected;
};

}  // namespace koru::test
