// Raise sites that must not compile: each MISUSE case names a row with
// arguments that do not fit its format (tests/CMakeLists.txt compiles every
// case and looks for the diagnostic).  Case 0 fits and must compile.
#include <string>

#include "builtins/method_table.h"
#include "compiler/state.h"
#include "host/errors.h"

namespace koru {

[[noreturn]] void misuse() {
#if MISUSE == 0
    static constexpr err::Plain chosen = err::division_by_zero;
    static constexpr err::Ref<int, const char*> setter = err::date_set_year;
    static constexpr CountErrors counts{err::array_too_few, err::array_too_many};
    (void)counts;
    if (chosen.code()) raise_runtime(setter, 1, "x");
    if (chosen.code()) compile_error(err::bracket_unclosed, ")", "(", "f(");
    if (chosen.code()) fatal_startup(err::fatal_config_unopened, "/etc");
    raise_runtime(err::not_a_function_named, "f", 3u);
#elif MISUSE == 1
    raise_runtime(err::division_by_zero, 5);  // too many
#elif MISUSE == 2
    raise_runtime(err::bad_expression);  // too few
#elif MISUSE == 3
    raise_runtime(err::bad_expression, 5);  // a number for a text
#elif MISUSE == 4
    raise_runtime(err::bad_expression, std::string("x"));  // not a C string
#elif MISUSE == 5
    raise_runtime(err::bad_expression_text, 5L, "x");  // a 64-bit precision
#elif MISUSE == 6
    compile_error(err::bracket_unclosed, ")", "(");  // too few
#elif MISUSE == 7
    static constexpr err::Plain chosen = err::bad_expression;  // the row takes a text
    raise_runtime(chosen);
#elif MISUSE == 8
    fatal_startup(err::division_by_zero);  // a coded row
#elif MISUSE == 9
    static constexpr CountErrors counts{err::bad_expression, err::array_too_many};  // a count error takes nothing
    (void)counts;
    raise_runtime(err::division_by_zero);
#endif
}

}  // namespace koru
