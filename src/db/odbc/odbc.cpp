#include "db/odbc/odbc.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>

#include "db/front/records.h"
#include "db/odbc/narrow.h"
#include "db/state.h"
#include "host/errors.h"
#include "runtime/refcount.h"

namespace koru {

using namespace odbc;

namespace {

constexpr size_t kPathBuffer = 256;
constexpr size_t kMaxConnectUnits = 2048;
constexpr size_t kDiagUnits = 512;
constexpr size_t kDiagBytes = 1023;
constexpr size_t kMessageBytes = 2048;
constexpr size_t kNameUnits = 256;
constexpr size_t kNameBytes = 259;
constexpr size_t kNameFieldCapacity = 4096;
constexpr unsigned kMaxColumns = 255;
// A column's buffer is 4 bytes a character as described; a driver that
// describes a text column wider than this gets a buffer of this size and
// its longer values are cut.
constexpr SqlULen kMaxColumnChars = 1u << 20;
// The row-value fields of a Z or Y record gather in chunks of about this size.
constexpr size_t kRowChunk = 1u << 16;

constexpr const char* kFunctionNames[] = {
#define KORU_ODBC_NAME(name, type) #name,
    KORU_ODBC_FUNCTIONS(KORU_ODBC_NAME)
#undef KORU_ODBC_NAME
};
static_assert(sizeof(Functions) == sizeof(kFunctionNames) / sizeof(kFunctionNames[0]) * sizeof(void*));

const Functions& fn() { return g_db.fn; }
SqlReturn rc(SqlReturn r) { return g_db.last_rc = r; }

std::string trim_blanks(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return std::string(s.substr(b, e - b));
}

// UTF-8 text as 0-terminated UTF-16 of at most `max` units before the 0
// (1595 for a character above U+FFFF).
std::u16string widen(const char* text, size_t len, size_t max) {
    std::u16string out(len < max ? len : max, u'\0');
    size_t n = db_utf8_to_utf16(text, len, out.data(), out.size());
    out.resize(n);
    return out;
}
SqlWChar* wide_ptr(const std::u16string& s) { return const_cast<SqlWChar*>(s.c_str()); }

// A statement handle that is freed when its operation ends, whichever way.
// The normal path frees it itself (and checks the result); an error on the
// way frees it here, its result ignored.
class StatementHandle {
public:
    StatementHandle() = default;
    ~StatementHandle() {
        if (h_) fn().SQLFreeHandle(kHandleStmt, h_);
    }
    StatementHandle(const StatementHandle&) = delete;
    StatementHandle& operator=(const StatementHandle&) = delete;
    Handle* out() { return &h_; }
    Handle get() const { return h_; }
    // Frees it on the normal path, checking the result.
    void free(err::Ref<const char*> row) {
        Handle h = h_;
        h_ = nullptr;
        rc(fn().SQLFreeHandle(kHandleStmt, h));
        odbc_check(row, kHandleStmt, h);
    }

private:
    Handle h_ = nullptr;
};

void alloc_statement(Value connection, StatementHandle& st, err::Ref<const char*> row) {
    Handle dbc = connection_of(connection)->dbc;
    rc(fn().SQLAllocHandle(kHandleStmt, dbc, st.out()));
    odbc_check(row, kHandleDbc, dbc);
}

// SQL_NO_DATA from an execution is a statement that touched no row.
bool executed_nothing(SqlReturn r) {
    if (r != kNoData) return false;
    g_db.last_rc = kSuccess;
    return true;
}

// The parameters of one execution: the buffers the driver reads from stay
// in place until the statement is done.
struct ParamSlot {
    bool described = false;
    SqlSmallInt type = 0;
    SqlULen size = 0;
    SqlSmallInt digits = 0;
    SqlLen indicator = 0;
    std::u16string wide;
    std::string copy;
};

struct Params {
    explicit Params(size_t n) : slots(n) {}
    std::vector<ParamSlot> slots;
};

struct BindRows {
    err::Ref<const char*> describe, wide, copied, in_place;
};

void bind_parameter(Handle stmt, unsigned number, const BindText& value, ParamSlot& slot, const BindRows& rows) {
    if (!slot.described) {
        SqlSmallInt nullable = 0;
        rc(fn().SQLDescribeParam(stmt, static_cast<SqlUSmallInt>(number), &slot.type, &slot.size, &slot.digits,
                                 &nullable));
        odbc_check(rows.describe, kHandleStmt, stmt);
        slot.described = true;
    }
    bool text_param = is_text_type(slot.type);
    slot.indicator = !text_param && value.text.empty() ? kNullData : kNts;
    if (value.wide && text_param) {
        slot.wide = widen(value.text.data(), value.text.size(), value.text.size());
        rc(fn().SQLBindParameter(stmt, static_cast<SqlUSmallInt>(number), kParamInput, kCWChar, slot.type, slot.size,
                                 slot.digits, wide_ptr(slot.wide), static_cast<SqlLen>(2 * slot.wide.size() + 4),
                                 &slot.indicator));
        odbc_check(rows.wide, kHandleStmt, stmt);
    } else if (value.wide) {
        slot.copy = value.text;
        rc(fn().SQLBindParameter(stmt, static_cast<SqlUSmallInt>(number), kParamInput, kCChar, slot.type, slot.size,
                                 slot.digits, slot.copy.data(), static_cast<SqlLen>(slot.copy.size() + 4),
                                 &slot.indicator));
        odbc_check(rows.copied, kHandleStmt, stmt);
    } else {
        rc(fn().SQLBindParameter(stmt, static_cast<SqlUSmallInt>(number), kParamInput, kCChar, slot.type, slot.size,
                                 slot.digits, const_cast<char*>(value.text.c_str()),
                                 static_cast<SqlLen>(value.text.size() + 4), &slot.indicator));
        odbc_check(rows.in_place, kHandleStmt, stmt);
    }
}

constexpr BindRows kBindRows{err::odbc_describe_param, err::odbc_bind_wide, err::odbc_bind_copied,
                             err::odbc_bind_in_place};

// The number of parameters the driver sees must be the statement's.
void check_param_count(Handle stmt, const SqlStatement& st, err::Ref<const char*> row, err::Plain mismatch) {
    SqlSmallInt n = 0;
    rc(fn().SQLNumParams(stmt, &n));
    odbc_check(row, kHandleStmt, stmt);
    if (n != st.marker_count) raise_runtime(mismatch);
}

// Binds every variable and expression marker (parameter numbers follow the
// markers in text order).
void bind_named(Handle stmt, const SqlStatement& st, const BindTexts& named, Params& params) {
    for (unsigned i = 0; i < st.marker_count; ++i)
        if (st.kinds[i] != 'A') bind_parameter(stmt, i + 1, named[st.ordinals[i]], params.slots[i], kBindRows);
}

void prepare(Handle stmt, const SqlStatement& st, err::Ref<const char*> row) {
    rc(fn().SQLPrepareW(stmt, wide_ptr(st.text), kNts));
    odbc_check(row, kHandleStmt, stmt);
}

long row_count(Handle stmt, err::Ref<const char*> row) {
    SqlLen n = 0;
    rc(fn().SQLRowCount(stmt, &n));
    odbc_check(row, kHandleStmt, stmt);
    return n;
}

void free_stmt(Handle stmt, SqlUSmallInt option, err::Ref<const char*> row) {
    rc(fn().SQLFreeStmt(stmt, option));
    odbc_check(row, kHandleStmt, stmt);
}

// Cuts a text to at most `max` bytes at a whole UTF-8 character.
void cut_utf8(std::string& s, size_t max) {
    if (s.size() <= max) return;
    size_t n = max;
    while (n > 0 && (static_cast<uint8_t>(s[n]) & 0xC0) == 0x80) --n;
    s.resize(n);
}

}  // namespace

// ---- loading and connecting --------------------------------------------------------

void odbc_load(std::string_view path_operand) {
    if (g_db.loaded()) return;
    std::string path = trim_blanks(path_operand);
    if (path.empty()) raise_runtime(err::db_library_missing);
    if (path.size() >= kPathBuffer) path.resize(kPathBuffer - 1);
    path.resize(std::strlen(path.c_str()));
    void* lib = dlopen(path.c_str(), RTLD_NOW);
    if (!lib) raise_runtime(err::db_library_load, path.c_str());
    // Bound into a table of its own first: a library that lacks one of the
    // functions is never taken as loaded with part of them.
    Functions bound;
    void* slots[sizeof kFunctionNames / sizeof kFunctionNames[0]];
    for (size_t i = 0; i < sizeof kFunctionNames / sizeof kFunctionNames[0]; ++i) {
        slots[i] = dlsym(lib, kFunctionNames[i]);
        if (!slots[i]) {
            dlclose(lib);
            raise_runtime(err::db_library_function, kFunctionNames[i]);
        }
    }
    std::memcpy(&bound, slots, sizeof bound);
    g_db.library = lib;
    g_db.fn = bound;
}

namespace {

// The handles of a connection being set up, freed if it fails on the way.
struct PendingHandles {
    Handle env = nullptr, dbc = nullptr;
    ~PendingHandles() {
        if (dbc) fn().SQLFreeHandle(kHandleDbc, dbc);
        if (env) fn().SQLFreeHandle(kHandleEnv, env);
    }
};

void check_parameter_keys(std::string_view cs) {
    size_t start = 0;
    while (start <= cs.size()) {
        size_t end = cs.find(';', start);
        if (end == std::string_view::npos) end = cs.size();
        std::string_view piece = cs.substr(start, end - start);
        size_t eq = piece.find('=');
        if (eq != std::string_view::npos) {
            std::string key = trim_blanks(piece.substr(0, eq));
            for (char& c : key)
                if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
            if (key == "encode" && trim_blanks(piece.substr(eq + 1)).size() >= 38)
                raise_runtime(err::db_parameter_length);
        }
        start = end + 1;
    }
}

}  // namespace

void odbc_connect(Value connection, std::string_view cs) {
    if (g_db.connection_count >= kMaxConnections) raise_runtime(err::db_too_many);
    PendingHandles h;
    if (!succeeded(rc(fn().SQLAllocHandle(kHandleEnv, nullptr, &h.env)))) {
        h.env = nullptr;
        raise_runtime(err::odbc_alloc_env);
    }
    if (!succeeded(rc(fn().SQLSetEnvAttr(h.env, kAttrOdbcVersion, reinterpret_cast<void*>(kOvOdbc3), 0))))
        raise_runtime(err::odbc_env_version);
    if (!succeeded(rc(fn().SQLAllocHandle(kHandleDbc, h.env, &h.dbc)))) {
        h.dbc = nullptr;
        raise_runtime(err::odbc_alloc_dbc);
    }
    if (!succeeded(rc(fn().SQLSetConnectAttrW(h.dbc, kAttrLoginTimeout, reinterpret_cast<void*>(10L), 0))))
        raise_runtime(err::odbc_login_timeout);
    if (!succeeded(rc(fn().SQLSetConnectAttrW(h.dbc, kAttrAutocommit, reinterpret_cast<void*>(kAutocommitOff), 0))))
        raise_runtime(err::odbc_autocommit);
    std::u16string wide = widen(cs.data(), cs.size(), kMaxConnectUnits);
    rc(fn().SQLDriverConnectW(h.dbc, nullptr, wide_ptr(wide), static_cast<SqlSmallInt>(kNts), nullptr, 0, nullptr,
                              kDriverNoPrompt));
    odbc_check(err::odbc_driver_connect, kHandleDbc, h.dbc);
    DbConnectionObject* c = connection_of(connection);
    c->connected = 1;
    c->env = h.env;
    c->dbc = h.dbc;
    unsigned slot = 0;
    while (g_db.connections[slot].value != kUndefinedValue) ++slot;
    g_db.connections[slot] = {value_retain(connection), h.env, h.dbc};
    ++g_db.connection_count;
    h.env = h.dbc = nullptr;
    // Connected: a bad parameter now leaves the connection to the end of
    // the request, like any other failure on an open connection.
    check_parameter_keys(cs);
}

void odbc_check(err::Ref<const char*> row, SqlSmallInt handle_type, Handle handle) {
    if (succeeded(g_db.last_rc)) return;
    std::string diag;
    size_t room = kMessageBytes - 1 - std::strlen(row.format());
    for (SqlSmallInt rec = 1; rec <= 5; ++rec) {
        SqlWChar state[6] = {};
        SqlInteger native = 0;
        SqlWChar msg[kDiagUnits] = {};
        SqlSmallInt len = 0;
        SqlReturn r = fn().SQLGetDiagRecW(handle_type, handle, rec, state, &native, msg, kDiagUnits, &len);
        if (!succeeded(r)) break;  // SQL_NO_DATA: no more records
        // The length says what the driver had; the buffer holds at most 511.
        size_t units = len < 0 ? 0 : static_cast<size_t>(len);
        if (units > kDiagUnits - 1) units = kDiagUnits - 1;
        std::string text = odbc_narrow(msg, units, kDiagBytes);
        if (!text.empty()) diag += "\nstatus=" + text + "\n";
    }
    cut_utf8(diag, room);
    raise_runtime(row, diag.c_str());
}

void odbc_close(Value connection, bool commit) {
    DbConnectionObject* c = connection_of(connection);
    if (commit) {
        rc(fn().SQLEndTran(kHandleDbc, c->dbc, kCommit));
        odbc_check(err::odbc_end_tran, kHandleDbc, c->dbc);
    } else {
        rc(fn().SQLEndTran(kHandleDbc, c->dbc, kRollback));
    }
    rc(fn().SQLDisconnect(c->dbc));
    rc(fn().SQLFreeHandle(kHandleDbc, c->dbc));
    rc(fn().SQLFreeHandle(kHandleEnv, c->env));
    c->dbc = nullptr;
    c->env = nullptr;
    for (auto& slot : g_db.connections) {
        if (slot.value != connection) continue;
        slot = {};
        --g_db.connection_count;
        value_release(connection);
        break;
    }
}

namespace {
void close_slot(DbState::OpenConnection& slot) {
    fn().SQLEndTran(kHandleDbc, slot.dbc, kRollback);
    fn().SQLDisconnect(slot.dbc);
    fn().SQLFreeHandle(kHandleDbc, slot.dbc);
    fn().SQLFreeHandle(kHandleEnv, slot.env);
    slot = {};
    --g_db.connection_count;
}
}  // namespace

void odbc_close_all() {
    for (auto& slot : g_db.connections) {
        if (slot.value == kUndefinedValue) continue;
        Value v = slot.value;
        DbConnectionObject* c = connection_of(v);
        c->dbc = nullptr;
        c->env = nullptr;
        close_slot(slot);
        value_release(v);
    }
}

void DbState::reset() {
    // The objects may be gone with the memory already: only the table's own
    // copies of the handles are used.
    for (auto& slot : connections)
        if (slot.value != kUndefinedValue) close_slot(slot);
    *this = DbState{};
}

// ---- text ----------------------------------------------------------------------------

size_t db_utf8_to_utf16(const char* text, size_t len, char16_t* units, size_t max) {
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    size_t i = 0, n = 0;
    while (i < len && n < max && s[i]) {
        unsigned c = s[i];
        size_t extra = c >= 0xC0 && c <= 0xDF ? 1 : c >= 0xE0 && c <= 0xEF ? 2 : c >= 0xF0 && c <= 0xF7 ? 3 : 0;
        if (c < 0x80) {
            units[n++] = static_cast<char16_t>(c);
            ++i;
            continue;
        }
        bool complete = extra > 0 && i + extra < len;
        for (size_t k = 1; complete && k <= extra; ++k) complete = s[i + k] != 0;
        if (!complete) {
            units[n++] = 0xFFFD;  // a stray or cut-off byte
            ++i;
            continue;
        }
        uint32_t v = c & (0x3F >> extra);
        for (size_t k = 1; k <= extra; ++k) v = v << 6 | (s[i + k] & 0x3F);
        if (v >= 0x10000) raise_runtime(err::surrogate_character);
        if (v == 0) break;
        units[n++] = static_cast<char16_t>(v);
        i += extra + 1;
    }
    return n;
}

void odbc_narrow_into(const SqlWChar* units, size_t count, size_t limit, std::string& out) {
    out.clear();
    for (size_t i = 0; i < count && units[i] != 0; ++i) {
        unsigned u = units[i];
        size_t need = u < 0x80 ? 1 : u < 0x800 ? 2 : 3;
        if (out.size() + need > limit) break;
        if (u < 0x80) {
            out.push_back(static_cast<char>(u));
        } else if (u < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (u >> 6)));
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (u >> 12)));
            out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        }
    }
}

std::string odbc_narrow(const SqlWChar* units, size_t count, size_t limit) {
    std::string out;
    odbc_narrow_into(units, count, limit, out);
    return out;
}

// ---- executing -------------------------------------------------------------------------

long odbc_execute_direct(Value connection, const SqlStatement& st) {
    StatementHandle stmt;
    alloc_statement(connection, stmt, err::odbc_alloc_direct);
    long n = 0;
    if (!executed_nothing(rc(fn().SQLExecDirectW(stmt.get(), wide_ptr(st.text), kNts)))) {
        odbc_check(err::odbc_exec_direct, kHandleStmt, stmt.get());
        n = row_count(stmt.get(), err::odbc_row_count_direct);
    }
    stmt.free(err::odbc_free_direct);
    return n;
}

long odbc_execute_prepared(Value connection, const SqlStatement& st, const BindTexts& named) {
    Params params(st.marker_count);
    StatementHandle stmt;
    alloc_statement(connection, stmt, err::odbc_alloc_prepared);
    prepare(stmt.get(), st, err::odbc_prepare_prepared);
    check_param_count(stmt.get(), st, err::odbc_num_params_prepared, err::bind_count_prepared);
    bind_named(stmt.get(), st, named, params);
    long n = 0;
    if (!executed_nothing(rc(fn().SQLExecute(stmt.get())))) {
        odbc_check(err::odbc_execute_prepared, kHandleStmt, stmt.get());
        n = row_count(stmt.get(), err::odbc_row_count_prepared);
    }
    free_stmt(stmt.get(), kResetParams, err::odbc_free_stmt_prepared);
    stmt.free(err::odbc_free_prepared);
    return n;
}

long odbc_execute_per_row(Value connection, const SqlStatement& st, const BindTexts& named,
                          const std::vector<BindTexts>& rows) {
    Params params(st.marker_count);
    StatementHandle stmt;
    alloc_statement(connection, stmt, err::odbc_alloc_per_row);
    prepare(stmt.get(), st, err::odbc_prepare_per_row);
    check_param_count(stmt.get(), st, err::odbc_num_params_per_row, err::bind_count_per_row);
    bind_named(stmt.get(), st, named, params);
    long total = 0;
    for (const BindTexts& row : rows) {
        for (unsigned i = 0; i < st.marker_count; ++i)
            if (st.kinds[i] == 'A')
                bind_parameter(stmt.get(), i + 1, row[st.numbers[st.ordinals[i]] - 1u], params.slots[i], kBindRows);
        if (!executed_nothing(rc(fn().SQLExecute(stmt.get())))) {
            odbc_check(err::odbc_execute_per_row, kHandleStmt, stmt.get());
            total += row_count(stmt.get(), err::odbc_row_count_per_row);
        }
    }
    free_stmt(stmt.get(), kResetParams, err::odbc_free_stmt_per_row);
    stmt.free(err::odbc_free_per_row);
    return total;
}

// ---- the result-set reader --------------------------------------------------------------

namespace {

struct Column {
    bool wide = false;
    size_t width = 0;     // buffer width in bytes (the buffer has 4 more)
    uint8_t kind = 3;     // 1 integer, 2 fractional, 3 text
    SqlLen indicator = 0;
    std::vector<char> buffer;
    std::string text;     // the latest value in UTF-8
};

void classify(Column& col, SqlSmallInt type, SqlULen size, SqlSmallInt digits) {
    if (is_text_type(type)) {
        col.wide = true;
        col.width = 4 * (size < kMaxColumnChars ? size : kMaxColumnChars) + 8;
        col.kind = 3;
    } else if (type == kNumeric || type == kDecimal) {
        col.width = 30;
        col.kind = digits > 0 ? 2 : 1;
    } else if (type == kInteger || type == kSmallInt || type == kTinyInt || type == kBigInt) {
        col.width = 30;
        col.kind = 1;
    } else if (type == kFloat || type == kReal || type == kDouble) {
        col.width = 30;
        col.kind = 2;
    } else {
        col.width = 40;
        col.kind = 3;
    }
}

// The fetched value of a column as UTF-8; false for NULL.  The indicator is
// the driver's word: one beyond the buffer (a value cut to fit, or no total
// given) reads what the buffer holds, never more.
bool fetched_text(Column& col) {
    SqlLen ind = col.indicator;
    if (ind == kNullData) return false;
    size_t cap = col.buffer.size() - (col.wide ? 2 : 1);  // room before the terminator
    size_t n = ind < 0 || static_cast<size_t>(ind) > cap ? cap : static_cast<size_t>(ind);
    if (col.wide) {
        const auto* units = reinterpret_cast<const SqlWChar*>(col.buffer.data());
        odbc_narrow_into(units, n / 2, 3 * (n / 2), col.text);
    } else {
        const char* p = col.buffer.data();
        size_t len = strnlen(p, n);
        if (col.kind == 3 && !narrow_is_utf8(p, len)) col.text = cp932_to_utf8(p, len);
        else col.text.assign(p, len);
    }
    return true;
}

void append_front_field(std::string& out, Column& col) {
    if (!fetched_text(col)) {
        out.append("10");
        return;
    }
    switch (col.kind) {
    case 1: encode_int_text(out, col.text); break;
    case 2: encode_float_text(out, col.text); break;
    default: encode_text_field_bounded(out, col.text.data(), col.text.size(), col.width); break;
    }
}

}  // namespace

uint32_t odbc_read(Value connection, const SqlStatement& st, ReadMode mode, const BindTexts& named,
                   RowCollector& out) {
    Params params(st.marker_count);
    std::vector<Column> cols;
    std::vector<ColumnValue> values;
    StatementHandle stmt;
    alloc_statement(connection, stmt, err::odbc_alloc_read);
    prepare(stmt.get(), st, err::odbc_prepare_read);
    check_param_count(stmt.get(), st, err::odbc_num_params_read, err::bind_count_read);
    bind_named(stmt.get(), st, named, params);

    SqlSmallInt ncols = 0;
    rc(fn().SQLNumResultCols(stmt.get(), &ncols));
    odbc_check(err::odbc_num_result_cols, kHandleStmt, stmt.get());
    if (ncols > static_cast<SqlSmallInt>(kMaxColumns)) raise_runtime(err::too_many_columns);
    if (ncols < 0) ncols = 0;
    cols.resize(static_cast<size_t>(ncols));
    out.columns = static_cast<unsigned>(ncols);
    for (unsigned i = 0; i < cols.size(); ++i) {
        SqlWChar name[kNameUnits] = {};
        SqlSmallInt name_len = 0, type = 0, digits = 0, nullable = 0;
        SqlULen size = 0;
        rc(fn().SQLDescribeColW(stmt.get(), static_cast<SqlUSmallInt>(i + 1), name, kNameUnits, &name_len, &type,
                                &size, &digits, &nullable));
        odbc_check(err::odbc_describe_col, kHandleStmt, stmt.get());
        size_t units = name_len < 0 ? 0 : static_cast<size_t>(name_len);
        if (units > kNameUnits - 1) units = kNameUnits - 1;
        std::string uname = odbc_narrow(name, units, kNameBytes);
        if (mode == ReadMode::Named) out.column_name(i, uname);
        if (mode == ReadMode::FrontNamed)
            encode_text_field_bounded(out.names, uname.data(), uname.size(), kNameFieldCapacity);
        Column& col = cols[i];
        classify(col, type, size, digits);
        col.buffer.assign(col.width + 4, '\0');
        rc(fn().SQLBindCol(stmt.get(), static_cast<SqlUSmallInt>(i + 1), col.wide ? kCWChar : kCChar,
                           col.buffer.data(), static_cast<SqlLen>(col.buffer.size()), &col.indicator));
        odbc_check(err::odbc_bind_col, kHandleStmt, stmt.get());
    }
    if (!executed_nothing(rc(fn().SQLExecute(stmt.get())))) odbc_check(err::odbc_execute_read, kHandleStmt, stmt.get());

    uint32_t rows = 0;
    values.resize(cols.size());
    SqlReturn r;
    while (succeeded(r = rc(fn().SQLFetch(stmt.get())))) {
        if (mode == ReadMode::Front || mode == ReadMode::FrontNamed) {
            for (Column& col : cols) append_front_field(out.fields, col);
            if (out.fields.size() >= kRowChunk) {
                out.chunks.push_back(std::move(out.fields));
                out.fields = std::string();
                out.fields.reserve(kRowChunk + kRowChunk / 4);
            }
        } else {
            if (mode == ReadMode::Into) {
                if (cols.size() != out.targets) raise_runtime(err::into_column_count);
                if (rows > 0) raise_runtime(err::into_row_count);
            }
            for (size_t i = 0; i < cols.size(); ++i) {
                bool has = fetched_text(cols[i]);
                values[i] = {cols[i].text.c_str(), has ? static_cast<long>(cols[i].text.size()) : -1L, cols[i].kind};
            }
            if (out.row(rows, values) != 0) raise_runtime(err::row_callback_failed);
        }
        ++rows;
    }
    if (r != kNoData) odbc_check(err::odbc_fetch, kHandleStmt, stmt.get());
    free_stmt(stmt.get(), kClose, err::odbc_free_stmt_close);
    free_stmt(stmt.get(), kUnbind, err::odbc_free_stmt_unbind);
    free_stmt(stmt.get(), kResetParams, err::odbc_free_stmt_reset);
    stmt.free(err::odbc_free_read);
    return rows;
}

}  // namespace koru
