// The database statements: openDb and closeDb, select, selectHash,
// selectExists, selectInto, execute, and the two statements that send rows
// to the front end as Z and Y records.
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "db/front/records.h"
#include "db/odbc/odbc.h"
#include "db/sql.h"
#include "db/state.h"
#include "db/statements.h"
#include "host/errors.h"
#include "interp/handlers.h"
#include "interp/support.h"
#include "interp/variables.h"
#include "runtime/area.h"
#include "runtime/objects.h"
#include "runtime/symbols.h"

namespace koru {

namespace {

// The kinds of database, by slot number (slot 0 is blank).
constexpr char kKindTable[] = "            sqlserver   oracle      db2         postgresql  sqlite      ";
constexpr size_t kKindSlot = 12;
static_assert(sizeof kKindTable - 1 == 6 * kKindSlot);
constexpr size_t kMaxKindName = 39;
constexpr size_t kNameCapacity = 1024;

struct Placeholder {
    char character;
    bool numbered;
};
constexpr Placeholder kPlaceholders[6] = {{'?', false}, {'?', false}, {':', true}, {'?', false}, {'$', true},
                                          {'?', false}};

// The slot of a kind name (compared lower-cased, as a whole word); 0 when
// it names none.
unsigned kind_slot(std::string_view name) {
    if (name.empty() || name.size() > kMaxKindName) return 0;
    std::string lower(name);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    for (unsigned slot = 1; slot < 6; ++slot) {
        std::string_view word(kKindTable + slot * kKindSlot, kKindSlot);
        word = word.substr(0, word.find(' '));
        if (word == lower) return slot;
    }
    return 0;
}

// select: every row an array of its values.
class RowArrays : public RowCollector {
public:
    explicit RowArrays(bool build) : build_(build) {
        if (build_) result.reset(make_array(0));
    }
    int row(uint32_t, const std::vector<ColumnValue>& values) override {
        if (!build_) return 0;
        TempGuard r(make_array(static_cast<uint32_t>(values.size())));
        for (size_t i = 0; i < values.size(); ++i)
            array_elements(r.get())[i] = value_retain(column_value(values[i]));
        array_push(result.get(), r.get(), 4096);
        return 0;
    }
    TempGuard result;

private:
    bool build_;
};

// selectHash: every row a hash of its values, named by the columns.
class RowHashes : public RowCollector {
public:
    RowHashes() { result.reset(make_array(0)); }
    void column_name(unsigned, const std::string& name) override { names_.push_back(intern(name)); }
    int row(uint32_t, const std::vector<ColumnValue>& values) override {
        TempGuard h(make_hash(static_cast<uint32_t>(values.size())));
        cell_as<HashCell>(h.get())->count = 0;
        for (size_t i = 0; i < values.size() && i < names_.size(); ++i) {
            Value key = Value::symbol(names_[i]);
            int64_t at = hash_find(h.get(), names_[i]);
            uint32_t slot = at < 0 ? hash_append(h.get(), key) : static_cast<uint32_t>(at);
            Pair& p = hash_pairs(h.get())[slot];
            Value old = p.value;
            p.value = value_retain(column_value(values[i]));
            value_release(old);
        }
        array_push(result.get(), h.get(), 4096);
        return 0;
    }
    TempGuard result;

private:
    std::vector<uint32_t> names_;
};

// selectInto: the one row's values, kept until they are stored.
class IntoValues : public RowCollector {
public:
    ~IntoValues() override {
        for (Value v : values) value_drop_temp(v);
    }
    int row(uint32_t, const std::vector<ColumnValue>& row) override {
        for (const ColumnValue& v : row) values.push_back(column_value(v));
        return 0;
    }
    std::vector<Value> values;
};

// A variable, an element or a property: the operands that name a place.
bool is_place_form(Value t) {
    if (t.is_symbol()) return true;
    if (t.kind() != Kind::Instruction) return false;
    uint8_t op = cell_as<InstrCell>(t)->opcode;
    return op == op_byte(Op::OP_INDEX) || op == op_byte(Op::OP_MEMBER);
}

// A counted ref for the container of each target place.
struct HeldPlaces {
    std::vector<Place> places;
    ~HeldPlaces() {
        for (const Place& p : places) value_release(p.container);
    }
};

// The Z and Y records: the head when every row is fetched, then the rows.
Value rows_to_front(const InstrCell& c, bool with_names) {
    if (c.operand_count() < 3) {
        if (with_names) raise_runtime(err::hash_to_front_count);
        raise_runtime(err::to_front_count);
    }
    Prepared p;
    prepare_statement(c, true, SqlWord::Select, p);
    std::string name;
    encode_text_field_bounded(name, string_text(p.name.get()), string_length(p.name.get()), kNameCapacity);
    BindTexts named = bind_named_values(p.sql);
    RowCollector rows;
    uint32_t n;
    std::string head;
    try {
        n = odbc_read(p.connection.get(), p.sql, with_names ? ReadMode::FrontNamed : ReadMode::Front, named, rows);
        head.push_back(with_names ? 'Y' : 'Z');
        encode_count(head, rows.columns);
        encode_count(head, n);
        head += name;
        head += rows.names;
    } catch (const std::bad_alloc&) {
        raise_runtime(err::row_buffer_failed);
    }
    // The record is complete: its head, then the rows in the order they came.
    write_record(head);
    for (const std::string& chunk : rows.chunks) write_record(chunk);
    write_record(rows.fields);
    ++g_front.zy_records;
    return make_int(static_cast<int32_t>(n));
}

}  // namespace

// ---- what every statement shares -----------------------------------------------------

void prepare_statement(const InstrCell& c, bool with_name, SqlWord word, Prepared& p) {
    unsigned sql_at = with_name ? 2 : 1;
    p.connection.reset(evaluate(operand(c, 0)));
    if (p.connection.get().kind() != Kind::DbConnection) raise_runtime(err::sql_connection_bad);
    p.connection.hold();
    if (with_name) {
        p.name.reset(evaluate(operand(c, 1)));
        if (p.name.get().kind() != Kind::String) raise_runtime(err::sql_name_bad);
        p.name.hold();
    }
    TempGuard text(evaluate(operand(c, sql_at)));
    if (text.get().kind() != Kind::String) raise_runtime(err::sql_text_bad);
    const DbConnectionObject* conn = connection_of(p.connection.get());
    compile_sql(p.sql, string_text(text.get()), string_length(text.get()), static_cast<char>(conn->placeholder),
                conn->numbered != 0, word);
}

BindText bind_text_of(Value v) {
    BindText t;
    if (!bind_value_text(v, t.text)) raise_runtime(err::bind_value_kind);
    for (char ch : t.text)
        if (static_cast<uint8_t>(ch) >= 0x80) {
            t.wide = true;
            break;
        }
    return t;
}

BindTexts bind_named_values(const SqlStatement& st) {
    BindTexts out;
    out.reserve(st.named_count);
    for (unsigned i = 0; i < st.named_count; ++i) {
        Value ref = st.refs[i];
        if (st.named_kinds[i] == 'N') {
            out.push_back(bind_text_of(lookup_variable(ref.payload())));
        } else {
            TempGuard v(evaluate(ref));
            out.push_back(bind_text_of(v.get()));
        }
    }
    return out;
}

Value column_value(const ColumnValue& v) {
    if (v.length < 0) return kUndefinedValue;
    switch (v.kind) {
    case 1: return make_int(static_cast<int32_t>(std::strtol(v.text, nullptr, 10)));
    case 2: return make_double(std::atof(v.text));
    default: return make_string(v.text, static_cast<size_t>(v.length));
    }
}

// ---- connections --------------------------------------------------------------------

Value h_open_db(const InstrCell& c) {
    TempGuard path(evaluate(operand(c, 1)));
    if (path.get().kind() != Kind::String) raise_runtime(err::db_kind_bad);
    path.hold();
    TempGuard cs(evaluate(operand(c, 2)));
    if (cs.get().kind() != Kind::String) raise_runtime(err::db_kind_bad);
    cs.hold();
    TempGuard kind(evaluate(operand(c, 0)));
    if (kind.get().kind() != Kind::String) raise_runtime(err::db_kind_bad);
    unsigned slot = kind_slot(string_view_of(kind.get()));
    if (slot == 0) raise_runtime(err::db_kind_bad);
    std::string lib(string_view_of(path.get()));
    std::string conn_text(string_view_of(cs.get()));
    kind.reset(kUndefinedValue);
    path.reset(kUndefinedValue);
    cs.reset(kUndefinedValue);

    AreaBlock b = area_alloc(sizeof(DbConnectionObject));
    auto* obj = static_cast<DbConnectionObject*>(b.ptr);
    *obj = DbConnectionObject{static_cast<uint8_t>(Kind::DbConnection), static_cast<uint8_t>(slot),
                              static_cast<uint8_t>(kPlaceholders[slot].character),
                              static_cast<uint8_t>(kPlaceholders[slot].numbered ? 1 : 0), 0, nullptr, nullptr};
    TempGuard conn(Value::area(Kind::DbConnection, b.addr));
    odbc_load(lib);
    odbc_connect(conn.get(), conn_text);
    return conn.release();
}

Value h_close_db(const InstrCell& c) {
    TempGuard conn(evaluate(operand(c, 0)));
    if (conn.get().kind() != Kind::DbConnection) raise_runtime(err::close_connection_bad);
    bool commit = false;
    if (c.operand_count() >= 2) {
        conn.hold_across(operand(c, 1));
        TempGuard op(evaluate(operand(c, 1)));
        if (op.get().kind() != Kind::String) raise_runtime(err::close_operation_kind);
        std::string word(string_view_of(op.get()));
        for (char& ch : word)
            if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch + 32);
        if (word != "commit" && word != "rollback") raise_runtime(err::close_operation_text);
        commit = word[0] == 'c';
    }
    odbc_close(conn.get(), commit);
    return kUndefinedValue;
}

// ---- reading rows ----------------------------------------------------------------------

Value h_select(const InstrCell& c) {
    Prepared p;
    prepare_statement(c, false, SqlWord::Select, p);
    BindTexts named = bind_named_values(p.sql);
    RowArrays rows(true);
    odbc_read(p.connection.get(), p.sql, ReadMode::Rows, named, rows);
    return rows.result.release();
}

Value h_select_hash(const InstrCell& c) {
    Prepared p;
    prepare_statement(c, false, SqlWord::Select, p);
    BindTexts named = bind_named_values(p.sql);
    RowHashes rows;
    odbc_read(p.connection.get(), p.sql, ReadMode::Named, named, rows);
    return rows.result.release();
}

Value h_select_exists(const InstrCell& c) {
    Prepared p;
    prepare_statement(c, false, SqlWord::Select, p);
    BindTexts named = bind_named_values(p.sql);
    RowArrays rows(false);
    return Value::boolean(odbc_read(p.connection.get(), p.sql, ReadMode::Rows, named, rows) > 0);
}

Value h_select_into(const InstrCell& c) {
    Prepared p;
    prepare_statement(c, false, SqlWord::Select, p);
    HeldPlaces targets;
    unsigned n = c.operand_count();
    for (unsigned i = 2; i < n; ++i) {
        Value t = operand(c, i);
        if (!is_place_form(t)) raise_runtime(err::select_into_target);
        {
            PlaceModeGuard mode(true);
            clear_place();
            value_drop_temp(evaluate(t));
        }
        if (g_interp.place.kind == PlaceKind::None || g_interp.place_const) raise_runtime(err::select_into_target);
        targets.places.push_back(g_interp.place);
        value_retain(g_interp.place.container);
    }
    BindTexts named = bind_named_values(p.sql);
    IntoValues row;
    row.targets = n - 2;
    uint32_t count = odbc_read(p.connection.get(), p.sql, ReadMode::Into, named, row);
    if (count == 1)
        for (size_t i = 0; i < targets.places.size() && i < row.values.size(); ++i)
            store_to_place(targets.places[i], row.values[i]);
    return make_int(static_cast<int32_t>(count));
}

// ---- writing -------------------------------------------------------------------------------

Value h_execute(const InstrCell& c) {
    Prepared p;
    prepare_statement(c, false, SqlWord::NotSelect, p);
    long affected;
    if (c.operand_count() < 3) {
        if (p.sql.positional_count > 0) raise_runtime(err::execute_positional_bad);
        if (p.sql.marker_count == 0) {
            affected = odbc_execute_direct(p.connection.get(), p.sql);
        } else {
            BindTexts named = bind_named_values(p.sql);
            affected = odbc_execute_prepared(p.connection.get(), p.sql, named);
        }
        return make_int(static_cast<int32_t>(affected));
    }
    TempGuard values(evaluate(operand(c, 2)));
    if (values.get().kind() != Kind::Array) raise_runtime(err::execute_values_bad);
    values.hold();
    BindTexts named = bind_named_values(p.sql);
    // One row of values, or an array of rows.
    std::vector<Value> row_arrays;
    Value all = values.get();
    if (array_count(all) == 0 || array_elements(all)[0].kind() != Kind::Array) {
        row_arrays.push_back(all);
    } else {
        for (uint32_t i = 0; i < array_count(all); ++i) {
            Value r = array_elements(all)[i];
            if (r.kind() != Kind::Array) raise_runtime(err::execute_values_bad);
            row_arrays.push_back(r);
        }
    }
    unsigned highest = 0;
    bool used[256] = {};
    for (uint8_t m : p.sql.numbers) {
        highest = m > highest ? m : highest;
        used[m] = true;
    }
    // Every row's texts are made before the first row runs.
    std::vector<BindTexts> rows;
    rows.reserve(row_arrays.size());
    for (Value r : row_arrays) {
        if (array_count(r) < highest) raise_runtime(err::bind_number_bad);
        BindTexts texts(highest);
        for (unsigned m = 1; m <= highest; ++m)
            if (used[m]) texts[m - 1] = bind_text_of(array_elements(r)[m - 1]);
        rows.push_back(std::move(texts));
    }
    affected = odbc_execute_per_row(p.connection.get(), p.sql, named, rows);
    return make_int(static_cast<int32_t>(affected));
}

// ---- rows to the front end ---------------------------------------------------------------

Value h_select_to_front(const InstrCell& c) { return rows_to_front(c, false); }
Value h_select_hash_to_front(const InstrCell& c) { return rows_to_front(c, true); }

}  // namespace koru
