// Statement texts as the database statements run them: the SQL a script
// wrote, with its bind markers (":name", ":{expression}", ":N"), compiled
// into the wide text the driver receives and the list of what each marker
// binds.  A statement is compiled every time it runs and lives for that run.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/value.h"

namespace koru {

constexpr unsigned kMaxMarkers = 255;

// What the first word of the text must be.
enum class SqlWord : uint8_t { Select, NotSelect };

struct SqlStatement {
    uint8_t marker_count = 0;      // all markers
    uint8_t named_count = 0;       // ":name" and ":{expression}" markers
    uint8_t positional_count = 0;  // ":N" markers
    std::vector<uint8_t> kinds;        // per marker in text order: 'A' positional, 'N' name, 'E' expression
    std::vector<uint8_t> named_kinds;  // per name/expression marker: 'N' or 'E'
    std::vector<uint8_t> ordinals;     // per marker: 0-based position within its own group
    std::vector<uint8_t> numbers;      // per positional marker: its number, 1-255
    std::vector<Value> refs;           // per name/expression marker: the symbol, or the compiled expression (retained)
    std::u16string text;               // the statement the driver receives

    SqlStatement() = default;
    SqlStatement(const SqlStatement&) = delete;
    SqlStatement& operator=(const SqlStatement&) = delete;
    ~SqlStatement();
};

// Compiles `len` bytes of SQL for a connection whose markers become
// `placeholder` (followed by the marker's 1-based ordinal when `numbered`).
// Raises 1350 for a wrong first word or a bad marker, 1005/1130/1135 as
// compile errors, 1595 for a character above U+FFFF.
void compile_sql(SqlStatement& out, const char* text, size_t len, char placeholder, bool numbered, SqlWord word);

// The parameter text of a bound value ("%d", "%.10f" trimmed, a string's
// bytes, the names of the immediates and identifiers); false for a kind
// that has none.
bool bind_value_text(Value v, std::string& out);

}  // namespace koru
