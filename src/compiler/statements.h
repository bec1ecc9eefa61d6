// The statement compiler: a 68-entry table of compilers indexed by keyword,
// blocks with their let/const regions, and statement lists.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

#include "runtime/value.h"

namespace koru {

// A statement compiler: `text` is just after the keyword, `start` the
// statement's first byte (for excerpts), `position` its position word.
// Returns the address after what it consumed.
using StatementFn = char* (*)(char* text, Value* out, const char* start, uint32_t position);
StatementFn statement_compiler(int keyword);

// The keyword a script writes for the call-like statement that compiles to
// `opcode` (openDb, select, execute, ...); empty for any other opcode.
std::string_view statement_word(unsigned opcode);

// One statement; `out` is 0 for an empty statement.  One ';' right after the
// statement is consumed.
char* compile_statement(char* text, Value* out);
// Statements up to the end of the text, appended to `list` (nonzero cells only).
char* compile_statements(char* text, std::vector<Value>& list, bool retain);
// `{ ... }` at p; gives the line of the closing brace.
char* compile_block(char* p, Value* out, uint32_t* end_line);

}  // namespace koru
