// The number model: Int unless a Double (or, for arithmetic, a numeric
// string with a point) took part.  Conversions and the number readers the
// operators and global functions share.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/value.h"

namespace koru {

struct Number {
    double value;
    bool is_double;
};

// Operand of -, *, /, %, ** and their compound forms: an Int, a Double, or a
// String read whole by strtod (error 2305 when characters are left over; a
// text with a point makes the operation a Double operation); any other kind:
// error 2310.
Number arith_operand(Value v);

// A double as an Int: truncated toward zero and wrapped modulo 2^32 (a NaN
// or an infinity gives 0), never undefined behaviour.
int32_t double_to_int(double d);

// The result of an arithmetic operation: a new Double or a new Int.
Value make_number(Number n);

// The text of an Int ("%d") or a Double (ten decimals, trailing zeros
// trimmed down to one) appended to out.
void append_number_text(Value v, std::string& out);

// Reads a numeric literal from text as the script compiler does: "0x" and
// hex digits, or decimal digits with an optional fraction and exponent.
// Returns the number of bytes read (0: no number); sets `out` to an Int, or a
// Double for a fraction, an exponent or an integer of magnitude 2^32 or more.
struct Reading {
    size_t used;
    bool is_double;
    double value;      // the whole reading
    bool malformed;    // a point or exponent with no digits around it, or a second point
};
// The number reader of Integer(x) and Float(x): reads from the start and
// stops at the first byte that cannot continue a number.
Reading read_number(const char* text, size_t len);

}  // namespace koru
