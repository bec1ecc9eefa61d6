#include "builtins/install.h"

#include "builtins/date/date.h"
#include "builtins/families.h"
#include "strings/regex/regex.h"
#include "strings/strings.h"

namespace koru {

void builtins_install() {
    regex_install();
    date_install();
    install_string_methods();
    install_regexp_methods();
    array_install();
    math_install();
    number_install();
    hash_install();
    object_install();
    string_static_install();
}

}  // namespace koru
