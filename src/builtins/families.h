// The registration routine of each built-in family of this directory;
// builtins_install calls them once at start-up.
#pragma once

namespace koru {

void array_install();          // Array and KeyedArray receivers
void math_install();           // Math.name(...)
void number_install();         // Number.name(...), parseInt and parseFloat
void hash_install();           // Hash receivers
void object_install();         // Object.keys
void string_static_install();  // String.fromCharCode, String.fromCodePoint

}  // namespace koru
