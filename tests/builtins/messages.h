// Error rows that check the message text as well as the code.
#pragma once
#include "interp/fixture.h"

namespace koru::test {

struct MessageCase {
    const char* script;
    int code;
    const char* message;
};

inline void check_messages(const std::vector<MessageCase>& cases) {
    for (const MessageCase& c : cases) {
        fresh_process();
        Outcome o = run_script(c.script);
        EXPECT_TRUE(o.error) << c.script;
        EXPECT_EQ(o.code, c.code) << c.script;
        EXPECT_EQ(o.message, c.message) << c.script;
    }
}

}  // namespace koru::test
