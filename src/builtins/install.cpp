#include "builtins/install.h"

#include "builtins/families.h"
#include "strings/regex/regex.h"

namespace koru {

void builtins_install() {
    regex_install();
    array_install();
    math_install();
    number_install();
    hash_install();
    object_install();
    string_static_install();
}

}  // namespace koru
