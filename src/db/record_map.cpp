// record_map runs a piece of script code once per result row, the row's
// columns reachable as "%1", "%2", ... ("%0" the whole row); record_hash
// turns a two-column result into a hash from the first column to the second.
#include <string>
#include <string_view>
#include <vector>

#include "db/odbc/odbc.h"
#include "db/record_map.h"
#include "db/statements.h"
#include "host/errors.h"
#include "interp/handlers.h"
#include "interp/state.h"
#include "interp/support.h"
#include "runtime/limits.h"
#include "runtime/objects.h"
#include "runtime/symbols.h"

namespace koru {

namespace {

constexpr std::string_view kRowName = "_c__o__l__m_";
// A column reference past this is past every result (255 columns at most):
// it is kept at this value, which the first row refuses.
constexpr unsigned kReferenceCap = 100000;
// Pairs a hash holds at most (its count is 16 bits, with room kept for growth).
constexpr size_t kMaxHashPairs = 0xFFFF - 10;

bool is_quote(char c) { return c == '\'' || c == '"' || c == '`'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The statement cells of the code, retained while they run and released
// when the statement ends, whichever way.
struct CodeCells {
    std::vector<Value> cells;
    ~CodeCells() {
        for (Value v : cells) value_release(v);
    }
};

// One level of the nesting that calls, eval and templates count.
struct Nesting {
    Nesting() { enter_nesting(); }
    ~Nesting() { leave_nesting(); }
    Nesting(const Nesting&) = delete;
    Nesting& operator=(const Nesting&) = delete;
};

// record_map: each row into the row variable, then the code.
class MapRows : public RowCollector {
public:
    MapRows(const std::vector<Value>& cells, unsigned highest, uint32_t slot)
        : cells_(cells), highest_(highest), slot_(slot) {}
    int row(uint32_t n, const std::vector<ColumnValue>& values) override {
        if (n == 0 && highest_ > columns) raise_runtime(err::record_map_column);
        check_limits();
        TempGuard r(make_array(static_cast<uint32_t>(values.size())));
        for (size_t i = 0; i < values.size(); ++i)
            array_elements(r.get())[i] = value_retain(column_value(values[i]));
        // The code may have stored something else in the variable: whatever
        // it holds is let go.
        VarSlot& s = g_interp.locals[slot_];
        Value old = s.value;
        s.value = value_retain(r.get());
        value_release(old);
        for (Value stmt : cells_) {
            exec_statement(stmt);
            if (jump_pending()) {
                // A return or a break leaves the statement: no more rows.
                done = true;
                break;
            }
        }
        return 0;
    }

private:
    const std::vector<Value>& cells_;
    unsigned highest_;
    uint32_t slot_;
};

// record_hash: the pairs in row order, their values retained until the
// hash takes them.
class HashPairs : public RowCollector {
public:
    ~HashPairs() override {
        for (const Pair& p : pairs) value_release(p.value);
    }
    int row(uint32_t, const std::vector<ColumnValue>& values) override {
        if (values.empty() || values[0].length < 0) return 0;
        if (pairs.size() >= kMaxHashPairs) raise_runtime(err::out_of_memory);
        uint32_t sym = intern(std::string_view(values[0].text, static_cast<size_t>(values[0].length)));
        // A result of one column maps every key to undefined.
        Value v = values.size() > 1 ? column_value(values[1]) : kUndefinedValue;
        pairs.push_back(Pair{Value::symbol(sym), value_retain(v)});
        return 0;
    }
    std::vector<Pair> pairs;
};

}  // namespace

bool rewrite_column_references(std::string_view code, std::string& out, unsigned& highest) {
    out.clear();
    out.reserve(code.size() + 32);
    highest = 0;
    size_t i = 0, n = code.size();
    while (i < n) {
        char c = code[i];
        if (is_quote(c)) {
            // A quoted span goes over unchanged; a backslash escapes the
            // quote, and an unclosed span runs to the end.
            size_t j = i + 1;
            while (j < n && code[j] != c) j += code[j] == '\\' && j + 1 < n ? 2 : 1;
            j = j < n ? j + 1 : n;
            out.append(code.substr(i, j - i));
            i = j;
            continue;
        }
        if (c != '%' || (i > 0 && code[i - 1] == '\\')) {
            out.push_back(c);
            ++i;
            continue;
        }
        size_t j = i + 1;
        if (j >= n || !is_digit(code[j])) return false;
        unsigned number = 0;
        for (; j < n && is_digit(code[j]); ++j)
            if (number < kReferenceCap) number = number * 10 + static_cast<unsigned>(code[j] - '0');
        if (number > kReferenceCap) number = kReferenceCap;
        out.append(kRowName);
        if (number > 0) {
            out.push_back('[');
            out.append(std::to_string(number - 1));
            out.push_back(']');
        }
        if (number > highest) highest = number;
        i = j;
    }
    return true;
}

Value h_record_map(const InstrCell& c) {
    Prepared p;
    prepare_statement(c, false, SqlWord::Select, p);
    BindTexts named = bind_named_values(p.sql);
    std::string text;
    unsigned highest = 0;
    {
        TempGuard code(evaluate(operand(c, 2)));
        if (code.get().kind() != Kind::String) raise_runtime(err::record_map_code_kind);
        if (!rewrite_column_references(string_view_of(code.get()), text, highest))
            raise_runtime(err::record_map_percent);
    }
    CompileTextFn compile = g_hooks.compile_text;
    if (!compile)
        raise_runtime(err::bad_expression_text, static_cast<int>(text.size() > 120 ? 120 : text.size()), text.data());
    CodeCells code;
    compile(text.data(), text.size(), true, code.cells);
    if (code.cells.empty()) raise_runtime(err::record_map_code_empty);
    for (Value v : code.cells) value_retain(v);

    Nesting nesting;
    // The row variable lives in a block of its own, on top of the variable
    // stack: the block ends with the statement (also when the code raises),
    // and what the code declares in it goes with it.
    ScopeGuard scope(true, true);
    push_local(SYM_colm, kUndefinedValue);
    MapRows rows(code.cells, highest, g_interp.top());
    odbc_read(p.connection.get(), p.sql, ReadMode::Rows, named, rows);
    return kUndefinedValue;
}

Value h_record_hash(const InstrCell& c) {
    Prepared p;
    prepare_statement(c, false, SqlWord::Select, p);
    BindTexts named = bind_named_values(p.sql);
    HashPairs rows;
    odbc_read(p.connection.get(), p.sql, ReadMode::Rows, named, rows);
    Value h = make_hash(static_cast<uint32_t>(rows.pairs.size()));
    Pair* out = hash_pairs(h);
    for (size_t i = 0; i < rows.pairs.size(); ++i) out[i] = rows.pairs[i];
    rows.pairs.clear();  // the hash holds their references now
    return h;
}

}  // namespace koru
