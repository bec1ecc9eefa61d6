#include "strings/method_args.h"

#include <cmath>

#include "host/errors.h"
#include "runtime/text.h"

namespace koru {

int64_t number_value(Value v) {
    if (is_int(v)) return int_value(v);
    if (v.kind() != Kind::Double) return 0;
    double d = std::floor(double_value(v));
    if (std::isnan(d)) return 0;
    if (d > 2147483647.0) return 2147483647;
    if (d < -2147483648.0) return -2147483648LL;
    return static_cast<int64_t>(d);
}

std::string plain_text(Value v) {
    std::string s;
    write_plain(v, s);
    return s;
}

void out_of_memory() { raise_runtime(err::out_of_memory); }

}  // namespace koru
