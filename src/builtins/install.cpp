#include "builtins/install.h"

#include "strings/regex/regex.h"

namespace koru {

void builtins_install() {
    regex_install();
}

}  // namespace koru
