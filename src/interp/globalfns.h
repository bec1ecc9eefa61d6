// The global conversion functions, shared by their opcodes, by calls of
// Number(x) and String(x), and by new with the built-in classes.
#pragma once
#include "runtime/value.h"

namespace koru {

Value number_of(Value v);   // Number(x): error 2335
Value string_of(Value v);   // String(x): the plain text form
Value integer_of(Value v);  // Integer(x): errors 1410, 1405
Value float_of(Value v);    // Float(x): errors 1415, 1405

}  // namespace koru
