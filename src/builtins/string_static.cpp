// String.fromCharCode and String.fromCodePoint: numbers to UTF-8 text.
#include <string>

#include "builtins/families.h"
#include "builtins/method_table.h"
#include "host/errors.h"
#include "interp/methods.h"
#include "runtime/objects.h"

namespace koru {

namespace {

void append_utf8(uint32_t c, std::string& out) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The limits and errors of one of the two functions.
struct CodeRule {
    uint32_t max;
    err::Plain not_integer;
    err::Plain out_of_range;
};

// Each code on its own: a surrogate unit becomes three bytes and is never
// paired with its partner.
Value codes_to_text(const Value* args, uint32_t n, const CodeRule& r) {
    std::string out;
    for (uint32_t i = 0; i < n; ++i) {
        if (args[i].kind() != Kind::Int) raise_runtime(r.not_integer);
        int32_t c = int_value(args[i]);
        if (c < 0 || static_cast<uint32_t>(c) > r.max) raise_runtime(r.out_of_range);
        append_utf8(static_cast<uint32_t>(c), out);
    }
    return make_string(out);
}

constexpr CodeRule kCharCode{0xFFFF, err::from_char_code_not_int, err::from_char_code_range};
constexpr CodeRule kCodePoint{0x10FFFF, err::from_code_point_not_int, err::from_code_point_range};

using StaticFn = Value (*)(const Value* a, uint32_t n);
Value from_char_code(const Value* a, uint32_t n) { return codes_to_text(a, n, kCharCode); }
Value from_code_point(const Value* a, uint32_t n) { return codes_to_text(a, n, kCodePoint); }

// Two methods in slots of 14, in a text of 42 bytes.
constexpr MethodRow<StaticFn> kRows[] = {
    {"fromCharCode", at_least(1), from_char_code},
    {"fromCodePoint", at_least(1), from_code_point},
};
constexpr auto kTable = method_table<14>(kRows, {err::string_static_method_unknown, CountErrors{err::string_static_too_few, err::string_static_too_many}});
static_assert(text_is(slot_text<42>(kTable), "fromCharCode  fromCodePoint               "));

bool string_static_family(Value, uint32_t name, const Value* args, uint32_t n, Value* result) {
    int m = kTable.slot(name);
    if (m == kNoMethod) return false;
    check_arg_count(kTable[m].rule, n, *kTable.errors.count);
    *result = kTable[m].handler(args, n);
    return true;
}

}  // namespace

void string_static_install() {
    set_method_family(MethodFamily::StringStatic, string_static_family, kTable.errors.unknown);
}

MethodListing string_static_method_listing() { return listing_of("String (static)", kTable); }

}  // namespace koru
