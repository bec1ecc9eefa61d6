// Shared set-up for the compiler tests: a fresh memory, symbol table and
// compiler state per case, and a way to catch a parse error's code and text.
#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "compiler/state.h"
#include "host/errors.h"
#include "host/process.h"
#include "runtime/area.h"
#include "runtime/symbols.h"

namespace koru::test {

// A fresh process as the program starts one: the built-ins registered, so
// that regular-expression literals compile as they do in a request.
inline void fresh_compiler() { process_reset(); }

struct Raised {
    bool raised = false;
    int code = 0;
    std::string message;  // the report text after "PARSE ERROR n (path:line) : "
    std::string report;   // the whole report
};

inline Raised catch_error(const std::function<void()>& fn) {
    Raised r;
    try {
        fn();
    } catch (const Unwind& u) {
        ErrorView v = error_view(u.value);
        r.raised = true;
        r.code = std::stoi(std::string(v.code, v.code_len));
        r.report.assign(v.message, v.message_len);
        size_t colon = r.report.find(" : ");
        r.message = colon == std::string::npos ? r.report : r.report.substr(colon + 3);
    }
    return r;
}

class CompilerTest : public ::testing::Test {
protected:
    void SetUp() override { fresh_compiler(); }
};

}  // namespace koru::test
