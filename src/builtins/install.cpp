#include "builtins/install.h"

#include "builtins/date/date.h"
#include "strings/regex/regex.h"
#include "strings/strings.h"

namespace koru {

void builtins_install() {
    regex_install();
    date_install();
    install_string_methods();
    install_regexp_methods();
}

}  // namespace koru
