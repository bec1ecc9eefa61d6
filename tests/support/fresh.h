// A test fixture that starts every test from the state of a fresh process.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "host/errors.h"
#include "host/process.h"

namespace koru::testing {

class Fresh : public ::testing::Test {
protected:
    void SetUp() override { process_reset(); }
    void TearDown() override { process_reset(); }
};

// Runs `body`, which must raise; returns the code and message of the error.
struct Raised {
    std::string code;
    std::string message;
    uint32_t target;
};

template <class F>
Raised expect_raise(F&& body) {
    try {
        body();
    } catch (const Unwind& u) {
        if (u.value.kind() != Kind::Exception) return {"(not an error object)", "", u.target};
        ErrorView e = error_view(u.value);
        return {std::string(e.code, e.code_len), std::string(e.message, e.message_len), u.target};
    }
    ADD_FAILURE() << "expected an error";
    return {};
}

}  // namespace koru::testing
