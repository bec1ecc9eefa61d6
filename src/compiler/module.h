// Source modules and the driver's two small parsers: the TOP call and the
// name:value definitions.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/value.h"

namespace koru {

// Compiles a whole module text in place (comments are stripped first) and
// appends its top-level statements, retained, to `statements`.  Parse errors
// name `path` and the current line.  The path must outlive the compilation.
void compile_module(const char* path, char* text, std::vector<Value>& statements);

// Reads MODULE_DIR + "/" + path (the path alone when the directory is empty)
// and compiles it as source with module number `module`.  Error 1165 when
// the file cannot be opened.
void load_source_module(const std::string& module_dir, const std::string& path, unsigned module,
                        std::vector<Value>& statements);

// The TOP text: a bare name or one call name(arguments), as one OP_CALL
// cell.  The cells are never stopping points.  Error 1810 (or 1720/1730)
// for anything else.  A request's TOP text (`from_request`) may only call a
// function of the modules, with arguments that are literals or plain names:
// a built-in conversion or object as the name, or any argument that would
// run code, is error 1810 as well.
Value parse_top_call(const std::string& text, bool from_request = false);

// A `VAR` definition or the client address: name (bare or quoted) ':' one
// value.  Error 1140 otherwise.
struct NameValue {
    uint32_t symbol;
    Value value;
};
NameValue parse_name_value(const std::string& text);

}  // namespace koru
