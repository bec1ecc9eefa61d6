// Registers the built-in objects with the interpreter: method families,
// constructors and the handlers of the opcodes they execute.
#pragma once

namespace koru {

void builtins_install();

}  // namespace koru
