// The request body: tagged records that name the modules, the TOP function
// and the token, and bind global variables.  The body comes from the
// network, so every count and length is checked against its end.
#pragma once
#include <cstddef>
#include <string>

namespace koru {

struct RequestInfo {
    std::string top_text;        // 'P'
    bool top_given = false;
    bool read_from_disk = false; // 'L'
    bool token_given = false;    // 'Q'
    std::string token_key;
    std::string token_text;
    void reset() { *this = RequestInfo{}; }
};

// The parser calls the hooks' load_modules before the first variable
// binding and journal_name for an 'l' record.

// Parses the whole body; raises the request errors.
void parse_request_body(const char* body, size_t len);

}  // namespace koru

#include "host/engine.h"  // g_request: the engine owns the part declared here
