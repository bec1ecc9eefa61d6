#include "builtins/install.h"

#include "builtins/date/date.h"
#include "strings/regex/regex.h"

namespace koru {

void builtins_install() {
    regex_install();
    date_install();
}

}  // namespace koru
