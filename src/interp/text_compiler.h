// Connects template expansion and eval to the statement-list compiler.
#pragma once
#include <cstddef>
#include <vector>

#include "runtime/value.h"

namespace koru {

// Compiles text as a statement list; the cells come back unretained.
void compile_text_statements(const char* text, size_t len, bool no_stops, std::vector<Value>& out);

}  // namespace koru
