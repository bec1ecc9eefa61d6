// Operator rules shared by the handlers, compound assignment and the
// built-ins.
#pragma once
#include <string_view>

#include "runtime/value.h"

namespace koru {

enum class ArithOp { Sub, Mul, Div, Mod, Pow };
// One step of -, *, /, %, ** in double precision (division and modulo by
// zero: error 2330).
double arith_apply(ArithOp op, double a, double b);

// a + b by the addition table (error 2240 for pairs it does not list).
Value add_values(Value a, Value b);
// The text of a String or an Int, the Int's written into `digits`.
bool short_text(Value v, char (&digits)[16], std::string_view& out);

// == and === as the comparison handlers decide them.
bool loose_equal(Value a, Value b);
bool strict_equal(Value a, Value b);

}  // namespace koru
