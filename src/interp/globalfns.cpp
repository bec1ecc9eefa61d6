// Number, String, Integer, Float, the URI decoders and encoders, and eval.
#include "interp/globalfns.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "host/errors.h"
#include "interp/handlers.h"
#include "interp/numbers.h"
#include "interp/support.h"
#include "runtime/objects.h"
#include "runtime/text.h"

namespace koru {

namespace {

struct Signed {
    const char* text;
    size_t len;
    bool negative;
};

Signed strip_sign(Value s) {
    const char* t = string_text(s);
    size_t len = string_length(s);
    bool neg = false;
    if (len > 0 && (t[0] == '+' || t[0] == '-')) {
        neg = t[0] == '-';
        ++t;
        --len;
    }
    return {t, len, neg};
}

// Error 1405 quotes the text from where the reader stopped (120 bytes at most).
[[noreturn]] void bad_number_text(const char* from, size_t len) {
    int n = static_cast<int>(len > 120 ? 120 : len);
    raise_runtime(err::number_text_bad, n, from);
}

Reading read_signed(const Signed& s) {
    Reading r = read_number(s.text, s.len);
    if (r.malformed) bad_number_text(s.text + r.used, s.len - r.used);
    if (s.negative) r.value = -r.value;
    return r;
}

}  // namespace

Value number_of(Value v) {
    switch (v.kind()) {
    case Kind::Int: return make_int(int_value(v));
    case Kind::Double: return make_double(double_value(v));
    case Kind::String: {
        Signed s = strip_sign(v);
        Reading r = read_number(s.text, s.len);
        if (r.used == 0 || r.used != s.len || r.malformed) raise_runtime(err::number_argument_bad);
        double d = s.negative ? -r.value : r.value;
        return r.is_double ? make_double(d) : make_int(double_to_int(d));
    }
    default: raise_runtime(err::number_argument_bad);
    }
}

Value string_of(Value v) {
    std::string s;
    write_plain(v, s);
    return make_string(s);
}

Value integer_of(Value v) {
    switch (v.kind()) {
    case Kind::Int: return make_int(int_value(v));
    case Kind::Double: return make_int(double_to_int(double_value(v)));
    case Kind::String: {
        Reading r = read_signed(strip_sign(v));
        if (!r.is_double) return make_int(double_to_int(r.value));
        double t = std::trunc(r.value);
        // A negative fractional reading stays what it read.
        if (t < 0) return make_double(r.value);
        return make_int(double_to_int(t));
    }
    default: raise_runtime(err::integer_argument_bad);
    }
}

Value float_of(Value v) {
    switch (v.kind()) {
    case Kind::Int: return make_double(int_value(v));
    case Kind::Double: return make_double(std::trunc(double_value(v)));
    case Kind::String: return make_double(read_signed(strip_sign(v)).value);
    default: raise_runtime(err::float_argument_bad);
    }
}

// ---- handlers ---------------------------------------------------------------------------

namespace {

// Evaluates the single argument of a conversion and converts it.
Value convert_operand(const InstrCell& c, Value (*convert)(Value)) {
    TempGuard v(evaluate(Value(c.op0)));
    return convert(v.get());
}

}  // namespace

Value h_number(const InstrCell& c) {
    if (c.operand_count() == 0) return make_int(0);
    return convert_operand(c, number_of);
}

Value h_string(const InstrCell& c) {
    if (c.operand_count() == 0) return make_string("", 0);
    return convert_operand(c, string_of);
}

Value h_integer(const InstrCell& c) {
    if (c.operand_count() == 0) return make_int(0);
    if (c.operand_count() > 1) raise_runtime(err::integer_argument_count);
    return convert_operand(c, integer_of);
}

Value h_float(const InstrCell& c) {
    if (c.operand_count() == 0) return make_double(0.0);
    if (c.operand_count() > 1) raise_runtime(err::float_argument_count);
    return convert_operand(c, float_of);
}

// ---- URI ----------------------------------------------------------------------------------

namespace {

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

Value decode(const InstrCell& c, const char* reserved) {
    TempGuard arg(evaluate(Value(c.op0)));
    Value s = arg.get();
    if (s.kind() != Kind::String) raise_runtime(err::decode_not_text);
    const char* t = string_text(s);
    size_t len = string_length(s);
    std::vector<size_t> escapes;
    escapes.reserve(16);
    for (size_t i = 0; i < len; ++i) {
        if (t[i] != '%') continue;
        if (i + 3 > len) break;  // too near the end to be an escape
        int hi = hex_value(t[i + 1]), lo = hex_value(t[i + 2]);
        if (hi < 0 || lo < 0) raise_runtime(err::decode_character_bad);
        char byte = static_cast<char>(hi * 16 + lo);
        if (byte == 0 || !std::strchr(reserved, byte)) escapes.push_back(i);
        i += 2;
    }
    if (escapes.empty()) return arg.release();
    std::string out;
    out.reserve(len);
    size_t from = 0;
    for (size_t at : escapes) {
        out.append(t + from, at - from);
        out += static_cast<char>(hex_value(t[at + 1]) * 16 + hex_value(t[at + 2]));
        from = at + 3;
    }
    out.append(t + from, len - from);
    return make_string(out);
}

bool keeps(uint8_t b, const char* kept) {
    if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9')) return true;
    return b != 0 && std::strchr(kept, b) != nullptr;
}

Value encode(const InstrCell& c, const char* kept) {
    TempGuard arg(evaluate(Value(c.op0)));
    Value s = arg.get();
    if (s.kind() != Kind::String) raise_runtime(err::encode_not_text);
    std::string_view t = string_view_of(s);
    size_t need = 0;
    for (char ch : t) need += !keeps(static_cast<uint8_t>(ch), kept);
    if (need == 0) return arg.release();
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(t.size() + 2 * need);
    for (char ch : t) {
        auto b = static_cast<uint8_t>(ch);
        if (keeps(b, kept)) {
            out += ch;
        } else {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
    }
    return make_string(out);
}

}  // namespace

Value h_decode_uri(const InstrCell& c) { return decode(c, ";,/?:@&=+$#"); }
Value h_decode_uri_component(const InstrCell& c) { return decode(c, ""); }
Value h_encode_uri(const InstrCell& c) { return encode(c, ";,/?:@&=+$-_.!~*'()#"); }
Value h_encode_uri_component(const InstrCell& c) { return encode(c, "-_.!~*'()"); }

// ---- eval -----------------------------------------------------------------------------------

Value h_eval(const InstrCell& c) {
    TempGuard arg(evaluate(Value(c.op0)));
    Value s = arg.get();
    if (s.kind() != Kind::String) raise_runtime(err::eval_not_text);
    if (string_length(s) > 255) raise_runtime(err::eval_text_too_long);
    Value result = run_text(string_text(s), string_length(s), true, s);
    if (result == s) return arg.release();
    return result;
}

}  // namespace koru
