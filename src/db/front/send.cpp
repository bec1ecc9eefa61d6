#include "db/front/send.h"

#include <cstdio>
#include <string>

#include "db/front/records.h"
#include "host/errors.h"
#include "interp/handlers.h"
#include "interp/support.h"
#include "interp/variables.h"
#include "runtime/objects.h"
#include "runtime/symbols.h"
#include "runtime/text.h"

namespace koru {

namespace {

constexpr size_t kNameCapacity = 1024;
constexpr size_t kAlertCapacity = 4096;
constexpr unsigned kMaxNesting = 256;

void name_field(std::string& out, std::string_view name) {
    encode_text_field_bounded(out, name.data(), name.size(), kNameCapacity);
}

std::string date_text(Value d) {
    const DateCell& c = *cell_as<DateCell>(d);
    char buf[64];
    if (c.millis())
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03u", c.year, c.month() + 1, c.day(), c.hour,
                      c.minute, c.second, c.millis());
    else
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", c.year, c.month() + 1, c.day(), c.hour,
                      c.minute, c.second);
    return buf;
}

// The field of a scalar; false when the value has none.
bool scalar_field(std::string& out, Value v, bool in_container) {
    switch (v.kind()) {
    case Kind::Immediate:
        if (v.payload() == kUndefined) {
            out += "10";
            return true;
        }
        if (v.payload() > kNaN && !in_container) return false;
        encode_text_field(out, symbol_name(v.payload()));
        return true;
    case Kind::Int: encode_int_field(out, int_value(v)); return true;
    case Kind::Double: encode_float_field(out, double_value(v)); return true;
    case Kind::String: encode_text_field(out, string_text(v), string_length(v)); return true;
    case Kind::Date: encode_text_field(out, date_text(v)); return true;
    default: return false;
    }
}

// `name` is the name field already encoded.
void write_container(std::string_view name, Value v, unsigned depth);

// An element or property value: a scalar field, or a reference to a nested
// record written now.
void element_field(std::string& out, Value v, unsigned depth) {
    Kind k = v.kind();
    if (k == Kind::Array || k == Kind::Hash) {
        if (depth >= kMaxNesting) raise_runtime(err::send_value_kind, static_cast<int>(k));
        // The reference is a plain field of eight bytes whose caret travels
        // unescaped; the nested record carries the same field as its name.
        char ref[16];
        std::snprintf(ref, sizeof ref, "18^%c%06u", k == Kind::Array ? 'A' : 'H', ++g_front.nested_ref);
        out += ref;
        write_container(ref, v, depth + 1);
        return;
    }
    if (!scalar_field(out, v, true))
        raise_runtime(err::send_value_kind, static_cast<int>(k));
}

void write_container(std::string_view name, Value v, unsigned depth) {
    std::string rec;
    if (v.kind() == Kind::Array) {
        uint32_t n = array_count(v);
        rec += 'A';
        encode_count(rec, n);
        rec += name;
        for (uint32_t i = 0; i < n && i < array_count(v); ++i) element_field(rec, array_elements(v)[i], depth);
        write_record(rec);
        ++g_front.a_records;
        return;
    }
    uint32_t n = hash_count(v);
    rec += 'H';
    encode_count(rec, n);
    rec += name;
    for (uint32_t i = 0; i < n && i < hash_count(v); ++i) {
        const Pair& p = hash_pairs(v)[i];
        if (p.key.kind() == Kind::Immediate) encode_text_field(rec, symbol_name(p.key.payload()));
        else encode_text_field(rec, std::to_string(p.key.low24()));
        element_field(rec, p.value, depth);
    }
    write_record(rec);
    ++g_front.h_records;
}

}  // namespace

void send_value(std::string_view name, Value v) {
    Kind k = v.kind();
    if (k == Kind::Array || k == Kind::Hash) {
        std::string field;
        name_field(field, name);
        write_container(field, v, 0);
        return;
    }
    if (k == Kind::KeyedArray) raise_runtime(err::send_keyed_array);
    std::string rec = "s";
    name_field(rec, name);
    if (!scalar_field(rec, v, false)) raise_runtime(err::send_field_kind);
    write_record(rec);
    ++g_front.s_records;
}

void send_alert(Value v) {
    static constexpr std::string_view kHead = "s219XYZBCA_ALERT_ABCZYX";
    std::string rec(kHead);
    if (v.is_undefined()) {
        rec += "10";
    } else if (v.kind() == Kind::String) {
        encode_text_field(rec, string_text(v), string_length(v));
    } else if (v.kind() == Kind::Exception) {
        ErrorView e = error_view(v);
        char text[kAlertCapacity];
        int n = std::snprintf(text, sizeof text, "Exception: CODE=%.*s, MESSAGE='%.*s'", static_cast<int>(e.code_len),
                              e.code, static_cast<int>(e.message_len), e.message);
        size_t len = n < 0 ? 0 : (static_cast<size_t>(n) < sizeof text ? static_cast<size_t>(n) : sizeof text - 1);
        encode_text_field(rec, text, len);
    } else {
        raise_runtime(err::alert_kind);
    }
    write_record(rec);
    ++g_front.s_records;
}

// ---- statements ----------------------------------------------------------------------------

Value h_send_to_front(const InstrCell& c) {
    uint32_t n = c.operand_count();
    const uint32_t* ops = operands(c);
    if (n == 0) raise_runtime(err::send_name_bad);
    if (n == 1) {
        Value operand(ops[0]);
        uint32_t sym;
        if (operand.is_symbol()) sym = operand.payload();
        else if (operand.kind() == Kind::String && !cell_as<StringCell>(operand)->is_template())
            sym = intern(string_view_of(operand));
        else raise_runtime(err::send_name_bad);
        Value v = lookup_variable(sym);
        send_value(symbol_name(sym), v);
        return kUndefinedValue;
    }
    TempGuard name(evaluate(Value(ops[0])));
    if (name.get().kind() != Kind::String) raise_runtime(err::send_name_not_text);
    name.hold_across(Value(ops[1]));
    TempGuard v(evaluate(Value(ops[1])));
    send_value(string_view_of(name.get()), v.get());
    return kUndefinedValue;
}

Value h_alert_to_front(const InstrCell& c) {
    TempGuard v(c.operand_count() ? evaluate(Value(c.op0)) : kUndefinedValue);
    send_alert(v.get());
    return kUndefinedValue;
}

}  // namespace koru
