// sql_aggregate: the rows of a SELECT reduced in one pass.  Rows are cut
// into entries at every change of the key columns, each entry split into
// sub-groups by the group columns (found as they come, or in a given
// order), and per sub-group a list of aggregates is kept: count, the latest
// value, sum, maximum, minimum and average, with the entry's row count and
// a total beside them.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "db/odbc/odbc.h"
#include "db/sql.h"
#include "db/statements.h"
#include "host/errors.h"
#include "interp/handlers.h"
#include "interp/support.h"
#include "runtime/limits.h"
#include "runtime/objects.h"
#include "runtime/symbols.h"
#include "runtime/text.h"

namespace koru {

namespace {

constexpr size_t kMaxKeyColumns = 511;
constexpr int32_t kMaxInitial = -2147483632;  // 0x80000010
constexpr int32_t kMinInitial = 2147483632;   // 0x7FFFFFF0
// Text read as a number: its first 255 characters.
constexpr size_t kNumberText = 255;

enum class Fn : uint8_t { Count, Value, Sum, Max, Min, Average };

struct Aggregate {
    Fn fn;
    unsigned column;  // 0-based; unused by count
};

// A number or a text, as the accumulators hold them.
struct Datum {
    enum Tag : uint8_t { Int, Float, Text } tag = Int;
    int32_t i = 0;
    double d = 0;
    std::string text;
    double as_double() const { return tag == Int ? i : d; }
};

struct Accumulator {
    Datum v;
    uint32_t count = 0;
    bool seen = false;  // max and min: a value has replaced the initial one
};

// One column of the current row.
struct Field {
    uint8_t kind = 0;  // 0 NULL, 1 integer, 2 float, 3 text
    int32_t i = 0;
    double d = 0;
    std::string_view text;
};

// A fetched integer column: an integer when it fits in 32 bits, else the
// float nearest to it (never a number wrapped round).
void read_integer(const char* text, Field& f) {
    long long n = std::strtoll(text, nullptr, 10);
    if (n >= INT32_MIN && n <= INT32_MAX) {
        f.kind = 1;
        f.i = static_cast<int32_t>(n);
    } else {
        f.kind = 2;
        f.d = static_cast<double>(n);
    }
}

// A number as a Datum: an integer when it is one within a millionth and
// fits in 32 bits, otherwise a float.
void set_number(Datum& out, double x) {
    double mag = std::fabs(x);
    double whole = std::floor(mag);
    if (mag - whole < 0.000001 && whole <= 2147483647.0) {
        out.tag = Datum::Int;
        out.i = static_cast<int32_t>(x < 0 ? -whole : whole);
    } else {
        out.tag = Datum::Float;
        out.d = x;
    }
}

// The number a field stands for, for the numeric aggregates; a text that is
// not wholly a (finite) number raises the aggregate's own error.
void number_of(const Field& f, Datum& out, err::Plain not_a_number) {
    switch (f.kind) {
    case 1: out.tag = Datum::Int; out.i = f.i; return;
    case 2: out.tag = Datum::Float; out.d = f.d; return;
    default: break;
    }
    char buf[kNumberText + 1];
    size_t n = f.text.size() < kNumberText ? f.text.size() : kNumberText;
    std::memcpy(buf, f.text.data(), n);
    buf[n] = '\0';
    char* end = nullptr;
    double x = std::strtod(buf, &end);
    if (n == 0 || end != buf + n || !std::isfinite(x)) raise_runtime(not_a_number);
    set_number(out, x);
}

// acc += x: integers stay integers while the sum fits in 32 bits.
void add(Datum& acc, const Datum& x) {
    if (acc.tag == Datum::Int && x.tag == Datum::Int) {
        long long s = static_cast<long long>(acc.i) + x.i;
        if (s >= INT32_MIN && s <= INT32_MAX) {
            acc.i = static_cast<int32_t>(s);
            return;
        }
        acc.tag = Datum::Float;
        acc.d = static_cast<double>(s);
        return;
    }
    double s = acc.as_double() + x.as_double();
    acc.tag = Datum::Float;
    acc.d = s;
}

Value datum_value(const Datum& d) {
    switch (d.tag) {
    case Datum::Int: return make_int(d.i);
    case Datum::Float: return make_double(d.d);
    default: return make_string(d.text);
    }
}

// The text of a field in a key ("%d", "%g", text as it is, "" for NULL).
void key_text(const Field& f, std::string& out) {
    char buf[64];
    switch (f.kind) {
    case 1: out.append(buf, static_cast<size_t>(std::snprintf(buf, sizeof buf, "%d", f.i))); break;
    case 2: out.append(buf, static_cast<size_t>(std::snprintf(buf, sizeof buf, "%g", f.d))); break;
    case 3: out.append(f.text); break;
    default: break;
    }
}

// The text of a field in a group text: as the group order writes values
// ("%d", "%.10f" trimmed to one decimal, text as it is, "" for NULL).
void group_value_text(const Field& f, std::string& out) {
    char buf[32];
    switch (f.kind) {
    case 1: out.append(buf, static_cast<size_t>(std::snprintf(buf, sizeof buf, "%d", f.i))); break;
    case 2: write_double(f.d, out); break;
    case 3: out.append(f.text); break;
    default: break;
    }
}

// A stored key value.
struct KeyValue {
    uint8_t kind = 0;
    int32_t i = 0;
    double d = 0;
    std::string text;
    bool same(const Field& f) const {
        if (f.kind != kind) return false;
        switch (kind) {
        case 1: return f.i == i;
        case 2: return f.d == d;
        case 3: return f.text == text;
        default: return true;
        }
    }
    void take(const Field& f) {
        kind = f.kind;
        i = f.i;
        d = f.d;
        text.assign(f.text);
    }
};

// What the plan hash and the group order ask for.
struct Plan {
    std::vector<unsigned> keys, groups;  // 0-based columns
    std::vector<Aggregate> aggregates;
    bool has_total = false, has_total_count = false;
    unsigned total_column = 0;
    bool ordered = false;
    std::vector<std::string> order;  // the sub-groups of the group order, in order
};

// A column number: an integer of at least 1.
unsigned column_number(Value v) {
    if (v.kind() != Kind::Int || int_value(v) < 1) raise_runtime(err::aggregate_column_index);
    return static_cast<unsigned>(int_value(v)) - 1;
}

void column_list(Value v, std::vector<unsigned>& out, size_t limit) {
    if (v.kind() == Kind::Array) {
        for (uint32_t i = 0, n = array_count(v); i < n; ++i) {
            unsigned col = column_number(array_elements(v)[i]);
            if (out.size() >= limit) raise_runtime(err::aggregate_too_many_keys);
            out.push_back(col);
        }
        return;
    }
    unsigned col = column_number(v);
    if (out.size() >= limit) raise_runtime(err::aggregate_too_many_keys);
    out.push_back(col);
}

void read_plan(Value hash, Plan& plan) {
    if (hash.kind() != Kind::Hash) raise_runtime(err::aggregate_not_hash);
    const Pair* pairs = hash_pairs(hash);
    for (uint32_t i = 0, n = hash_count(hash); i < n; ++i) {
        Value key = pairs[i].key, v = pairs[i].value;
        if (!key.is_symbol()) raise_runtime(err::aggregate_property);
        Fn fn;
        switch (key.payload()) {
        case SYM_key: column_list(v, plan.keys, kMaxKeyColumns); continue;
        case SYM_group: column_list(v, plan.groups, kMaxKeyColumns); continue;
        case SYM_total:
            plan.has_total = true;
            plan.total_column = column_number(v);
            continue;
        case SYM_total_count: plan.has_total_count = true; continue;
        case SYM_count: plan.aggregates.push_back({Fn::Count, 0}); continue;
        case SYM_value: fn = Fn::Value; break;
        case SYM_sum: fn = Fn::Sum; break;
        case SYM_max: fn = Fn::Max; break;
        case SYM_min: fn = Fn::Min; break;
        case SYM_average: fn = Fn::Average; break;
        default: raise_runtime(err::aggregate_property);
        }
        std::vector<unsigned> cols;
        column_list(v, cols, SIZE_MAX);
        for (unsigned col : cols) plan.aggregates.push_back({fn, col});
    }
    if (plan.aggregates.empty() && !plan.has_total && !plan.has_total_count) raise_runtime(err::aggregate_nothing);
}

void order_value_text(Value v, std::string& out) {
    std::string t;
    if (v.kind() == Kind::Array || !bind_value_text(v, t)) raise_runtime(err::aggregate_order_value);
    out += t;
}

void read_group_order(Value order, Plan& plan) {
    if (order.kind() != Kind::Array) raise_runtime(err::aggregate_order_kind);
    if (plan.groups.empty()) raise_runtime(err::aggregate_order_no_group);
    plan.ordered = true;
    for (uint32_t i = 0, n = array_count(order); i < n; ++i) {
        Value e = array_elements(order)[i];
        std::string text = "(";
        if (e.kind() == Kind::Array) {
            for (uint32_t j = 0, m = array_count(e); j < m; ++j) {
                if (j > 0) text.push_back(':');
                order_value_text(array_elements(e)[j], text);
            }
        } else {
            order_value_text(e, text);
        }
        text.push_back(')');
        plan.order.push_back(std::move(text));
    }
}

// The reduction, one row at a time; the entries gather in `result`.
class Reducer : public RowCollector {
public:
    explicit Reducer(const Plan& plan) : plan_(plan) {
        narrow_ansi = true;
        result.reset(make_array(0));
        std::vector<bool> used;
        auto use = [&](unsigned col) {
            if (col >= used.size()) used.resize(col + 1, false);
            if (!used[col]) used_.push_back(col);
            used[col] = true;
        };
        for (unsigned k : plan.keys) use(k);
        for (unsigned g : plan.groups) use(g);
        for (const Aggregate& a : plan.aggregates)
            if (a.fn != Fn::Count) use(a.column);
        if (plan.has_total) use(plan.total_column);
        highest_ = used.size();
        stored_keys_.resize(plan.keys.size());
    }

    // Every column named must be one of the result's.
    void described() override {
        if (highest_ > columns) raise_runtime(err::aggregate_column_index);
        fields_.resize(columns);
        start_entry();
    }

    int row(uint32_t n, const std::vector<ColumnValue>& values) override {
        if ((n & 0xFFF) == 0) check_limits();
        for (unsigned col : used_) read_field(values[col], fields_[col]);
        if (!plan_.keys.empty()) {
            bool changed = n == 0;
            for (size_t k = 0; !changed && k < plan_.keys.size(); ++k)
                changed = !stored_keys_[k].same(fields_[plan_.keys[k]]);
            if (changed) {
                if (n > 0) close_entry();
                start_entry();
                key_text_.clear();
                for (size_t k = 0; k < plan_.keys.size(); ++k) {
                    const Field& f = fields_[plan_.keys[k]];
                    stored_keys_[k].take(f);
                    key_text(f, key_text_);
                }
            }
        }
        if (plan_.has_total) {
            const Field& f = fields_[plan_.total_column];
            if (f.kind != 0) {
                number_of(f, scratch_, err::aggregate_sum_text);
                add(total_, scratch_);
            }
        }
        ++row_count_;
        size_t group = 0;
        if (!plan_.groups.empty()) {
            row_group_.assign(1, '(');
            for (size_t g = 0; g < plan_.groups.size(); ++g) {
                if (g > 0) row_group_.push_back(':');
                group_value_text(fields_[plan_.groups[g]], row_group_);
            }
            row_group_.push_back(')');
            auto it = group_index_.find(row_group_);
            if (it != group_index_.end()) {
                group = it->second;
            } else if (plan_.ordered) {
                return 0;  // a sub-group outside the given order adds nothing more
            } else {
                group = add_group(row_group_);
            }
        }
        // Only totals asked for: there is no accumulator to index.
        if (!plan_.aggregates.empty()) accumulate(&accumulators_[group * plan_.aggregates.size()]);
        return 0;
    }

    // After the last row: the open entry, or without key columns the one
    // entry (also of an empty result).
    void finish(uint32_t rows) {
        if (plan_.keys.empty() || rows > 0) close_entry();
    }

    TempGuard result;

private:
    void read_field(const ColumnValue& v, Field& f) {
        if (v.length < 0) {
            f.kind = 0;
            return;
        }
        switch (v.kind) {
        case 1: read_integer(v.text, f); break;
        case 2:
            f.kind = 2;
            f.d = std::atof(v.text);
            break;
        default:
            f.kind = 3;
            f.text = std::string_view(v.text, static_cast<size_t>(v.length));
            break;
        }
    }

    size_t add_group(const std::string& text) {
        size_t index = group_texts_.size();
        group_texts_.push_back(text);
        group_index_.emplace(text, index);
        accumulators_.resize(accumulators_.size() + plan_.aggregates.size());
        for (size_t a = 0; a < plan_.aggregates.size(); ++a)
            reset(accumulators_[index * plan_.aggregates.size() + a], plan_.aggregates[a].fn);
        return index;
    }

    static void reset(Accumulator& acc, Fn fn) {
        acc = Accumulator{};
        if (fn == Fn::Max) acc.v.i = kMaxInitial;
        if (fn == Fn::Min) acc.v.i = kMinInitial;
    }

    // A new entry: the accumulators at their initial values, the sub-groups
    // those of the group order (none when they are found as they come).
    void start_entry() {
        group_texts_.clear();
        group_index_.clear();
        accumulators_.clear();
        total_ = Datum{};
        row_count_ = 0;
        if (plan_.groups.empty()) {
            accumulators_.resize(plan_.aggregates.size());
            for (size_t a = 0; a < plan_.aggregates.size(); ++a) reset(accumulators_[a], plan_.aggregates[a].fn);
        } else {
            // A sub-group named twice in the order is found at its first place.
            for (const std::string& t : plan_.order) {
                if (group_index_.count(t)) {
                    group_texts_.push_back(t);
                    accumulators_.resize(accumulators_.size() + plan_.aggregates.size());
                    size_t index = group_texts_.size() - 1;
                    for (size_t a = 0; a < plan_.aggregates.size(); ++a)
                        reset(accumulators_[index * plan_.aggregates.size() + a], plan_.aggregates[a].fn);
                    continue;
                }
                add_group(t);
            }
        }
    }

    void accumulate(Accumulator* accs) {
        for (size_t a = 0; a < plan_.aggregates.size(); ++a) {
            const Aggregate& ag = plan_.aggregates[a];
            Accumulator& acc = accs[a];
            if (ag.fn == Fn::Count) {
                ++acc.count;
                continue;
            }
            const Field& f = fields_[ag.column];
            if (f.kind == 0) continue;  // NULL
            switch (ag.fn) {
            case Fn::Value:
                if (f.kind == 3) {
                    acc.v.tag = Datum::Text;
                    acc.v.text.assign(f.text);
                } else {
                    number_of(f, acc.v, err::aggregate_sum_text);
                }
                break;
            case Fn::Sum:
            case Fn::Average:
                number_of(f, scratch_, err::aggregate_sum_text);
                add(acc.v, scratch_);
                ++acc.count;
                break;
            case Fn::Max:
            case Fn::Min: {
                bool is_max = ag.fn == Fn::Max;
                if (is_max) number_of(f, scratch_, err::aggregate_max_text);
                else number_of(f, scratch_, err::aggregate_min_text);
                double x = scratch_.as_double(), cur = acc.v.as_double();
                if (!acc.seen || (is_max ? x > cur : x < cur)) {
                    acc.v.tag = scratch_.tag;
                    acc.v.i = scratch_.i;
                    acc.v.d = scratch_.d;
                    acc.seen = true;
                }
                break;
            }
            case Fn::Count: break;
            }
        }
    }

    Value aggregate_value(const Accumulator& acc, Fn fn) const {
        switch (fn) {
        case Fn::Count: return make_int(static_cast<int32_t>(acc.count));
        case Fn::Average:
            if (acc.v.tag == Datum::Text) return make_double(0.0);
            return make_double(acc.v.as_double() / (acc.count ? acc.count : 1));
        default: return datum_value(acc.v);
        }
    }

    void close_entry() {
        ValueOwner values;
        size_t na = plan_.aggregates.size();
        if (plan_.groups.empty()) {
            for (size_t a = 0; a < na; ++a) values.push(aggregate_value(accumulators_[a], plan_.aggregates[a].fn));
        } else if (na > 0) {
            for (size_t g = 0; g < group_texts_.size(); ++g) {
                const Accumulator* accs = &accumulators_[g * na];
                if (na == 1) {
                    values.push(aggregate_value(accs[0], plan_.aggregates[0].fn));
                    continue;
                }
                Value arr = make_array(static_cast<uint32_t>(na));
                values.push(arr);
                for (size_t a = 0; a < na; ++a)
                    array_elements(arr)[a] = value_retain(aggregate_value(accs[a], plan_.aggregates[a].fn));
            }
        }
        if (plan_.has_total_count) values.push(make_int(static_cast<int32_t>(row_count_)));
        if (plan_.has_total) values.push(datum_value(total_));

        std::string groups;
        for (const std::string& t : group_texts_) groups += t;
        TempGuard entry(make_array(3));
        Value* e = array_elements(entry.get());
        e[0] = value_retain(make_string(key_text_));
        e[1] = value_retain(make_string(groups));
        if (values.list.size() == 1) {
            e[2] = value_retain(values.list[0]);
        } else {
            Value arr = make_array(static_cast<uint32_t>(values.list.size()));
            e[2] = value_retain(arr);
            for (size_t i = 0; i < values.list.size(); ++i) array_elements(arr)[i] = value_retain(values.list[i]);
        }
        array_push(result.get(), entry.get(), 4096);
    }

    // Values made for an entry, each held until the entry holds it.
    struct ValueOwner {
        std::vector<Value> list;
        void push(Value v) { list.push_back(value_retain(v)); }
        ~ValueOwner() {
            for (Value v : list) value_release(v);
        }
    };

    const Plan& plan_;
    std::vector<unsigned> used_;  // the columns the plan reads
    size_t highest_ = 0;          // 1 + the highest of them
    std::vector<Field> fields_;
    std::vector<KeyValue> stored_keys_;
    std::string key_text_, row_group_;
    std::vector<std::string> group_texts_;
    std::unordered_map<std::string, size_t> group_index_;
    std::vector<Accumulator> accumulators_;  // per sub-group, one per aggregate
    Datum total_, scratch_;
    uint32_t row_count_ = 0;
};

}  // namespace

Value h_sql_aggregate(const InstrCell& c) {
    Prepared p;
    prepare_statement(c, false, SqlWord::Select, p);
    if (p.sql.positional_count > 0) raise_runtime(err::aggregate_bind);
    BindTexts named = bind_named_values(p.sql);
    Plan plan;
    {
        TempGuard plan_hash(evaluate(operand(c, 2)));
        read_plan(plan_hash.get(), plan);
    }
    if (c.operand_count() > 3) {
        TempGuard order(evaluate(operand(c, 3)));
        read_group_order(order.get(), plan);
    }
    Reducer rows(plan);
    uint32_t n = odbc_read(p.connection.get(), p.sql, ReadMode::Rows, named, rows);
    rows.finish(n);
    return rows.result.release();
}

}  // namespace koru
