// What the database statements share: the evaluation of their connection,
// name and SQL operands, the texts of the bound variables and expressions,
// and a fetched value as a script value.
#pragma once
#include "db/odbc/odbc.h"
#include "db/sql.h"
#include "interp/evaluate.h"
#include "interp/support.h"

namespace koru {

// The connection and the compiled statement of one SQL statement.
struct Prepared {
    TempGuard connection;
    TempGuard name;
    SqlStatement sql;
};

// Evaluates the connection (1255), the name of the front-end statements
// (1260) and the SQL operand (1265) and compiles the SQL.
void prepare_statement(const InstrCell& c, bool with_name, SqlWord word, Prepared& p);

// The parameter text of one bound value (1355 for a kind that has none).
BindText bind_text_of(Value v);

// The texts of the variable and expression markers, in marker order.
BindTexts bind_named_values(const SqlStatement& st);

// A fetched value as a script value: NULL is undefined, integer columns
// are read as atoi reads them, fractional ones as atof, text as a string.
Value column_value(const ColumnValue& v);

}  // namespace koru
