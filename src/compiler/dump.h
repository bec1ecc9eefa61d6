// Readable forms of compiled code: a one-line form for tests and a tree with
// positions for the dump tool.
#pragma once
#include <string>
#include <vector>

#include "runtime/value.h"

namespace koru {

// (OP_ADD a 1 (OP_MUL b 2)); strings quoted, doubles with a trailing 'd'.
std::string dump_compact(Value v);
// One node per line, two spaces per level, instructions with "@line:column".
std::string dump_tree(Value v);

// Compiles a module text (comments stripped) into `statements`; returns ""
// or the error report.  For the dump tool and the tests.
std::string compile_text_for_dump(const std::string& path, std::string text, std::vector<Value>& statements);

}  // namespace koru
