// The registration point of the built-in methods.  A method call finds the
// family by its receiver (a predefined name such as Math, or the kind of the
// evaluated object) and asks the family's handler; a family that has no
// method of the name raises here the method-name error its table registered
// with the handler.  Argument-count and argument errors belong to the
// family's handler.
#pragma once
#include <cstddef>
#include <cstdint>

#include "host/error_catalogue.h"
#include "runtime/value.h"

namespace koru {

enum class MethodFamily : uint8_t {
    Math,          // Math.name(...)
    Object,        // Object.name(...)
    Number,        // Number.name(...)
    DateStatic,    // Date.name(...)
    StringStatic,  // String.name(...)
    String,        // a String receiver
    Date,          // a Date receiver
    RegExp,        // a RegExp receiver
    Array,         // an Array receiver
    KeyedArray,    // a KeyedArray receiver
    Hash,          // a Hash receiver without a function property of the name
    Count,
};

// Runs method `name` (a symbol number) of the family on `self` (undefined
// for the static families) with the evaluated arguments.  Returns false when
// the family has no such method.  The result is a new or shared value; the
// caller drops it like any evaluation result.
using MethodFn = bool (*)(Value self, uint32_t name, const Value* args, uint32_t n, Value* result);

// The error of a name that reaches no method; each family's table holds its
// own and registers it with the handler.
void set_method_family(MethodFamily f, MethodFn fn, err::Plain unknown);
// Replaces the handler only: the family keeps the method-name error it was
// registered with.
void set_method_family(MethodFamily f, MethodFn fn);

// Calls a script function with evaluated arguments (a hash method stored as
// a property, forEach callbacks).  `name` is the symbol for messages (0 =
// none).  Extra arguments are ignored, missing ones are undefined.
Value call_function_values(Value fn, uint32_t name, const Value* args, uint32_t n);

// The same call for a caller that reads the result only as a number (a sort
// comparator): a function that returns an integer expression gives it in
// `number` with `is_number` set and no cell made; any other result is
// returned as call_function_values returns it.
Value call_function_number(Value fn, const Value* args, uint32_t n, int32_t& number, bool& is_number);

}  // namespace koru
