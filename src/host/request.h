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
extern RequestInfo g_request;

// Called before the first variable binding of the request, so that modules
// (and an object module's symbol table) are in place before names are entered.
using LoadModulesFn = void (*)();
void set_load_modules_fn(LoadModulesFn fn);

// Called for an 'l' record with the decoded journal file name.
using JournalNameFn = void (*)(const std::string& name);
void set_journal_name_fn(JournalNameFn fn);

// Parses the whole body; raises the request errors.
void parse_request_body(const char* body, size_t len);

}  // namespace koru
