// The String and RegExp method families: what start-up registers with the
// interpreter.
#pragma once

namespace koru {

// The string-method table (s.name(...)).
void install_string_methods();
// RegExp creation (literals, RegExp(...), new RegExp(...)), properties,
// the lastIndex place and the methods exec, test and toString.
void install_regexp_methods();

}  // namespace koru
