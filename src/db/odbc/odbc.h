// The ODBC layer: the driver manager loaded by path, connections, failure
// checks with the driver's diagnostics, UTF-16 text, parameter binding and
// the three statement shapes (direct, prepared, prepared once per row) with
// the result-set reader.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "db/odbc/odbc_types.h"
#include "db/sql.h"
#include "host/error_catalogue.h"
#include "runtime/area.h"
#include "runtime/value.h"

namespace koru {

// The connection object (value kind 3): 24 bytes in the area allocator.
struct DbConnectionObject {
    uint8_t header;          // type 3 and the reference count
    uint8_t kind;            // 1 sqlserver .. 5 sqlite
    uint8_t placeholder;     // the character written for a bind marker
    uint8_t numbered;        // 1: the placeholder is followed by the marker's ordinal
    int32_t connected;
    odbc::Handle env;
    odbc::Handle dbc;
};
static_assert(sizeof(DbConnectionObject) == 24);

inline DbConnectionObject* connection_of(Value v) {
    return static_cast<DbConnectionObject*>(area_ptr(v.area_addr()));
}

// Loads the driver manager unless it is loaded (1170, 1175, 1180).
void odbc_load(std::string_view path);
// Sets up the connection's handles, connects and enters it in the table
// (3645 .. 3676, 1600).
void odbc_connect(Value connection, std::string_view connection_string);
// Raises with the diagnostics of the handle unless the last return code is
// a success.
void odbc_check(err::Ref<const char*> row, odbc::SqlSmallInt handle_type, odbc::Handle handle);
// Ends the connection's transaction, disconnects and frees its handles.
// With `commit` a failed commit raises 3680 and leaves the connection open.
void odbc_close(Value connection, bool commit);
// Rolls back and closes every open connection, results ignored.
void odbc_close_all();

// UTF-8 to UTF-16 units as the compiler converts text (a byte that starts
// no sequence is U+FFFD, the text ends at a NUL), at most `max` units; a
// character above U+FFFF is the runtime error 1595, which a script's try
// takes.
size_t db_utf8_to_utf16(const char* text, size_t len, char16_t* units, size_t max);

// UTF-16 units to UTF-8: one to three bytes a unit (a surrogate on its own
// is three bytes), stopping at a 0 unit or before `limit` bytes.
std::string odbc_narrow(const odbc::SqlWChar* units, size_t count, size_t limit);
// The same into `out` (its old text replaced, its room kept).
void odbc_narrow_into(const odbc::SqlWChar* units, size_t count, size_t limit, std::string& out);

// One value as a parameter text, with its tag: wide when a byte is 0x80 or
// above.
struct BindText {
    std::string text;
    bool wide = false;
};
// A whole row of parameter texts (positional values of one row, or the
// variable and expression markers).
using BindTexts = std::vector<BindText>;

// The result-set reader's delivery modes.
enum class ReadMode : uint8_t { Into = 1, Rows = 2, Named = 3, Front = 4, FrontNamed = 5 };

// One fetched value as the reader hands it on.
struct ColumnValue {
    const char* text;    // UTF-8, NUL-terminated
    long length;         // -1 for NULL
    uint8_t kind;        // 1 integer, 2 fractional, 3 text
};

// What receives the rows.  Modes 1-3 get each row's values; modes 3 and 5
// see the column names while the columns are described; modes 4 and 5 get
// row-value fields appended to `fields`.
class RowCollector {
public:
    virtual ~RowCollector() = default;
    // Mode 1 checks the column count against its targets.
    virtual void column_name(unsigned, const std::string&) {}
    virtual int row(uint32_t, const std::vector<ColumnValue>&) { return 0; }
    unsigned columns = 0;   // set by the reader: the result's column count
    unsigned targets = 0;   // mode 1: the number of targets the columns must match
    std::string names;      // mode 5: the column-name fields
    // Modes 4 and 5: the row-value fields, in full chunks and the one being
    // filled (so that a long result is never copied to grow it).
    std::vector<std::string> chunks;
    std::string fields;
};

// Runs a statement without markers; the affected row count.
long odbc_execute_direct(Value connection, const SqlStatement& st);
// Runs a statement with its variable and expression markers bound.
long odbc_execute_prepared(Value connection, const SqlStatement& st, const BindTexts& named);
// Runs a statement once per row of positional values; the sum of the counts.
long odbc_execute_per_row(Value connection, const SqlStatement& st, const BindTexts& named,
                          const std::vector<BindTexts>& rows);
// Reads the rows of a SELECT; the number of rows fetched.
uint32_t odbc_read(Value connection, const SqlStatement& st, ReadMode mode, const BindTexts& named,
                   RowCollector& out);

}  // namespace koru
