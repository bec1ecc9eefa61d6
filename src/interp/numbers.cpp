#include "interp/numbers.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "host/errors.h"
#include "runtime/objects.h"
#include "runtime/text.h"

namespace koru {

Number arith_operand(Value v) {
    switch (v.kind()) {
    case Kind::Int:
        return {static_cast<double>(int_value(v)), false};
    case Kind::Double:
        return {double_value(v), true};
    case Kind::String: {
        const char* t = string_text(v);
        char* end = nullptr;
        double d = std::strtod(t, &end);
        if (static_cast<size_t>(end - t) != string_length(v)) raise_runtime(err::number_operand_text);
        return {d, std::memchr(t, '.', string_length(v)) != nullptr};
    }
    default:
        raise_runtime(err::number_operand_kind);
    }
}

int32_t double_to_int(double d) {
    if (!std::isfinite(d)) return 0;
    double t = std::trunc(d);
    if (t >= -2147483648.0 && t <= 2147483647.0) return static_cast<int32_t>(t);
    double m = std::fmod(t, 4294967296.0);
    if (m < 0) m += 4294967296.0;
    return static_cast<int32_t>(static_cast<uint32_t>(m));
}

Value make_number(Number n) { return n.is_double ? make_double(n.value) : make_int(double_to_int(n.value)); }

void append_number_text(Value v, std::string& out) {
    if (v.kind() == Kind::Int) {
        char digits[16];
        auto end = std::to_chars(digits, digits + sizeof digits, int_value(v)).ptr;
        out.append(digits, static_cast<size_t>(end - digits));
        return;
    }
    write_double(double_value(v), out);
}

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

Reading read_hex(const char* t, size_t len) {
    size_t i = 2;
    double v = 0;
    while (i < len && hex_digit(t[i]) >= 0) v = v * 16 + hex_digit(t[i++]);
    if (i == 2) return {1, false, 0, false};  // "0" then a stray x
    return {i, v >= 4294967296.0, v, false};
}

}  // namespace

Reading read_number(const char* t, size_t len) {
    if (len >= 2 && t[0] == '0' && t[1] == 'x') return read_hex(t, len);
    size_t i = 0;
    bool point = false, exponent = false, digits = false;
    while (i < len && is_digit(t[i])) i++, digits = true;
    if (i < len && t[i] == '.') {
        point = true;
        ++i;
        bool frac = false;
        while (i < len && is_digit(t[i])) i++, frac = true;
        if (!digits && !frac) return {i, true, 0, true};
        if (i < len && t[i] == '.') return {i, true, 0, true};
        digits = true;
    }
    if (!digits) return {0, false, 0, false};
    if (i < len && (t[i] == 'e' || t[i] == 'E')) {
        size_t j = i + 1;
        if (j < len && (t[j] == '+' || t[j] == '-')) ++j;
        if (j >= len || !is_digit(t[j])) return {j, true, 0, true};
        while (j < len && is_digit(t[j])) ++j;
        i = j;
        exponent = true;
    }
    std::string copy(t, i);
    double v = std::strtod(copy.c_str(), nullptr);
    bool is_double = point || exponent || std::fabs(v) >= 4294967296.0;
    return {i, is_double, v, false};
}

}  // namespace koru
