#include "runtime/text.h"

#include <cstdio>
#include <cstring>

#include "host/errors.h"
#include "runtime/area.h"
#include "runtime/cell.h"
#include "runtime/hooks.h"
#include "runtime/objects.h"
#include "runtime/symbols.h"

namespace koru {

namespace {

[[noreturn]] void no_display_form() { raise_runtime(err::no_display_form); }
[[noreturn]] void no_plain_form() { raise_runtime(err::no_plain_form); }

void write_int(int32_t n, std::string& out) {
    char buf[16];
    int len = std::snprintf(buf, sizeof buf, "%d", n);
    out.append(buf, static_cast<size_t>(len));
}

// A pair key: a symbol's name, or an integer key in decimal.
void write_key(Value key, std::string& out) {
    if (key.kind() == Kind::Immediate) {
        out.append(symbol_name(key.payload()), symbol_length(key.payload()));
    } else {
        char buf[16];
        int len = std::snprintf(buf, sizeof buf, "%u", key.low24());
        out.append(buf, static_cast<size_t>(len));
    }
}

void write_regexp(Value v, std::string& out) {
    out.push_back('/');
    if (g_hooks.regex_source) g_hooks.regex_source(v, out);
    out.push_back('/');
    uint8_t flags = static_cast<const uint8_t*>(area_ptr(v.area_addr()))[1];
    static constexpr struct { uint8_t bit; char letter; } kFlags[] = {
        {0x08, 'i'}, {0x04, 'm'}, {0x10, 'g'}, {0x20, 'y'}, {0x40, 's'}};
    for (auto f : kFlags)
        if (flags & f.bit) out.push_back(f.letter);
}

// The scalar forms; false when the value is not a scalar.
bool write_scalar(Value v, std::string& out) {
    switch (v.kind()) {
    case Kind::Immediate:
        out.append(symbol_name(v.payload()), symbol_length(v.payload()));
        return true;
    case Kind::SqlObject: out.append("SQL_Object"); return true;
    case Kind::DbConnection: out.append("DB_Connection"); return true;
    case Kind::Int: write_int(int_value(v), out); return true;
    case Kind::Double: write_double(double_value(v), out); return true;
    case Kind::Date: write_date(v, out); return true;
    case Kind::Exception: {
        ErrorView e = error_view(v);
        out.append(e.code, std::strlen(e.code));
        out.push_back(':');
        out.append(e.message, e.message_len);
        return true;
    }
    case Kind::RegExp: write_regexp(v, out); return true;
    default: return false;
    }
}

void display(Value v, std::string& out, bool quote, unsigned depth);

// Pairs as key and value, separated by commas: each key between `before`
// and `after`, each value in its display form.
void write_pairs(const Pair* pairs, uint32_t n, std::string& out, const char* before, const char* after, bool quote,
                 unsigned depth) {
    for (uint32_t i = 0; i < n; ++i) {
        if (i) out.push_back(',');
        Pair p = pairs[i];
        out.append(before);
        write_key(p.key, out);
        out.append(after);
        display(p.value, out, quote, depth + 1);
    }
}

void display(Value v, std::string& out, bool quote, unsigned depth) {
    if (write_scalar(v, out)) return;
    if (depth >= kMaxTextDepth) no_display_form();
    switch (v.kind()) {
    case Kind::String:
        if (quote) out.push_back('"');
        out.append(string_text(v), string_length(v));
        if (quote) out.push_back('"');
        return;
    case Kind::Array: {
        out.push_back('[');
        uint32_t n = array_count(v);
        for (uint32_t i = 0; i < n; ++i) {
            if (i) out.push_back(',');
            display(array_elements(v)[i], out, quote, depth + 1);
        }
        out.push_back(']');
        return;
    }
    case Kind::KeyedArray:
        out.push_back('[');
        write_pairs(keyed_pairs(v), keyed_count(v), out, "", ":", quote, depth);
        out.push_back(']');
        return;
    case Kind::Hash:
        out.push_back('{');
        write_pairs(hash_pairs(v), hash_count(v), out, "'", "':", true, depth);
        out.push_back('}');
        return;
    case Kind::Instruction: out.append("Operation"); return;
    default: no_display_form();
    }
}

}  // namespace

void write_double(double d, std::string& out) {
    char buf[400];
    int len = std::snprintf(buf, sizeof buf, "%.10f", d);
    if (len < 0) return;
    size_t n = std::min<size_t>(static_cast<size_t>(len), sizeof buf - 1);
    if (std::memchr(buf, '.', n)) {
        while (n > 1 && buf[n - 1] == '0' && buf[n - 2] != '.') --n;
    }
    out.append(buf, n);
}

void write_date(Value date, std::string& out) {
    const DateCell* d = cell_as<DateCell>(date);
    char buf[48];
    int len;
    if (d->millis())
        len = std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", d->year, d->month() + 1, d->day(),
                            d->hour, d->minute, d->second, d->millis());
    else
        len = std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", d->year, d->month() + 1, d->day(),
                            d->hour, d->minute, d->second);
    out.append(buf, static_cast<size_t>(len));
}

void write_display(Value v, std::string& out, bool quote) { display(v, out, quote, 0); }

void write_plain(Value v, std::string& out) {
    if (write_scalar(v, out)) return;
    switch (v.kind()) {
    case Kind::String: out.append(string_text(v), string_length(v)); return;
    case Kind::Array:
    case Kind::KeyedArray: display(v, out, true, 0); return;
    case Kind::Hash:
        out.push_back('{');
        write_pairs(hash_pairs(v), hash_count(v), out, "", ":", true, 0);
        out.push_back('}');
        return;
    case Kind::Instruction: {
        char buf[40];
        int len = std::snprintf(buf, sizeof buf, "operation_index: %d", cell_as<InstrCell>(v)->opcode);
        out.append(buf, static_cast<size_t>(len));
        return;
    }
    default: no_plain_form();
    }
}

Value join_values(uint32_t count, ItemAt item_at, const void* ctx, const Value* separator) {
    std::string_view sep = ",";
    if (separator) {
        if (separator->kind() != Kind::String) raise_runtime(err::join_separator_bad);
        sep = string_view_of(*separator);
    }
    std::string out;
    out.reserve(12288);
    for (uint32_t i = 0; i < count; ++i) {
        if (i) out.append(sep);
        write_display(item_at(ctx, i), out, false);
    }
    return make_string(out);
}

}  // namespace koru
