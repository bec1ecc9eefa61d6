// Number.name(...) and the global parseInt and parseFloat, which share the
// numeric parsing: parseInt, parseFloat, isInteger.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "builtins/families.h"
#include "builtins/method_table.h"
#include "interp/evaluate.h"
#include "interp/handlers.h"
#include "interp/methods.h"
#include "interp/opcodes.h"
#include "interp/support.h"
#include "runtime/objects.h"
#include "runtime/text.h"

namespace koru {

namespace {

constexpr size_t kMaxParseText = 4095;

// The text a number is read from: a string's own bytes (at most 4095), or
// the value's plain text form, without blanks and tabs at either end.
// Values that have no text form read as nothing.
std::string parse_text(Value v) {
    std::string s;
    Kind k = v.kind();
    if (k == Kind::String) {
        std::string_view t = string_view_of(v);
        s.assign(t.substr(0, kMaxParseText));
    } else if (k != Kind::Function && k != Kind::None4 && k != Kind::IntKey) {
        write_plain(v, s);
    }
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

int digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

// Number.parseInt(x [, radix]); also the global parseInt.
Value parse_int_value(Value x, const Value* radix) {
    std::string t = parse_text(x);
    size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    int base = 10;
    if (radix) {
        if (radix->kind() != Kind::Int || int_value(*radix) < 2 || int_value(*radix) > 36) return kNaNValue;
        base = int_value(*radix);
    } else if (i + 1 < t.size() && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    uint32_t n = 0;  // wraps on overflow, as 32-bit arithmetic does
    size_t first = i;
    for (int d; i < t.size() && (d = digit_value(t[i])) < base; ++i) n = n * static_cast<uint32_t>(base) + static_cast<uint32_t>(d);
    if (i == first) return kNaNValue;
    return make_int(static_cast<int32_t>(negative ? 0u - n : n));
}

// Number.parseFloat(x); also the global parseFloat.
Value parse_float_value(Value x) {
    std::string t = parse_text(x);
    char* end = nullptr;
    double d = std::strtod(t.c_str(), &end);
    if (end == t.c_str()) return kNaNValue;
    return make_double(d);
}

// A float counts when its ten-decimal text has only zeros after the point.
Value is_integer(Value x) {
    if (x.kind() == Kind::Int) return kTrueValue;
    if (x.kind() != Kind::Double) return kFalseValue;
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.10f", double_value(x));
    const char* point = std::strchr(buf, '.');
    if (!point) return kFalseValue;  // inf, nan
    for (const char* p = point + 1; *p; ++p)
        if (*p != '0') return kFalseValue;
    return kTrueValue;
}

using NumberFn = Value (*)(const Value* a, uint32_t n);
Value n_parse_int(const Value* a, uint32_t n) { return parse_int_value(a[0], n > 1 ? &a[1] : nullptr); }
Value n_parse_float(const Value* a, uint32_t) { return parse_float_value(a[0]); }
Value n_is_integer(const Value* a, uint32_t) { return is_integer(a[0]); }

constexpr MethodRow<NumberFn> kRows[] = {
    {"parseInt", between(1, 2), n_parse_int},
    {"parseFloat", exactly(1), n_parse_float},
    {"isInteger", exactly(1), n_is_integer},
};
constexpr auto kTable = method_table<12>(kRows, {err::number_method_unknown, CountErrors{err::number_too_few, err::number_too_many}});
static_assert(text_is(slot_text(kTable), "parseInt    parseFloat  isInteger   "));

bool number_family(Value, uint32_t name, const Value* args, uint32_t n, Value* result) {
    int m = kTable.slot(name);
    if (m == kNoMethod) return false;
    check_arg_count(kTable[m].rule, n, *kTable.errors.count);
    *result = kTable[m].handler(args, n);
    return true;
}

}  // namespace

// parseInt(x [, radix]) as a statement form: the compiler allows no
// operand at all, which reads as the text of undefined.
Value h_parse_int(const InstrCell& c) {
    uint32_t n = c.operand_count();
    TempGuard x(n > 0 ? evaluate(operand(c, 0)) : kUndefinedValue);
    if (n > 1) x.hold_across(operand(c, 1));
    TempGuard radix(n > 1 ? evaluate(operand(c, 1)) : kUndefinedValue);
    Value r = n > 1 ? radix.get() : kUndefinedValue;
    return parse_int_value(x.get(), n > 1 ? &r : nullptr);
}

Value h_parse_float(const InstrCell& c) {
    TempGuard x(c.operand_count() > 0 ? evaluate(operand(c, 0)) : kUndefinedValue);
    return parse_float_value(x.get());
}

void number_install() {
    set_method_family(MethodFamily::Number, number_family, kTable.errors.unknown);
}

MethodListing number_method_listing() { return listing_of("Number", kTable); }

}  // namespace koru
