// Math.name(...): abs, ceil, floor, trunc, round, random, pow, min, max.
// Integers stay integers where the result allows; a non-number gives NaN.
#include <cmath>
#include <ctime>

#include "builtins/families.h"
#include "builtins/method_table.h"
#include "host/random.h"
#include "interp/methods.h"
#include "interp/numbers.h"
#include "runtime/objects.h"
#include "runtime/refcount.h"

namespace koru {

namespace {

bool is_number(Value v) { return v.kind() == Kind::Int || v.kind() == Kind::Double; }
double as_double(Value v) { return v.kind() == Kind::Int ? int_value(v) : double_value(v); }

// A temporary cell (count 0) is changed in place; a shared one is copied.
Value math_abs(const Value* a) {
    Value x = a[0];
    bool temp = (*header_ptr(x) & 0xF0) == 0;
    if (x.kind() == Kind::Int) {
        int32_t i = int_value(x);
        int32_t r = i < 0 && i != INT32_MIN ? -i : i;  // the most negative stays as it is
        if (!temp) return make_int(r);
        cell_as<IntCell>(x)->value = r;
        return x;
    }
    double r = std::fabs(double_value(x));
    if (!temp) return make_double(r);
    cell_as<DoubleCell>(x)->value = r;
    return x;
}

// ceil, floor, trunc and round: an Int is itself, null is 0, a Double is
// rounded and made a 32-bit integer.
Value rounded(Value x, double (*round_fn)(double)) {
    if (x.kind() == Kind::Int) return x;
    if (x == kNullValue) return make_int(0);
    if (x.kind() != Kind::Double) return kNaNValue;
    return make_int(double_to_int(round_fn(double_value(x))));
}

double half_away(double d) { return std::round(d); }  // -2.5 gives -3

Value math_random() {
    // Seeded from the clock on the first draw of the process.
    static bool seeded = false;
    if (!seeded) {
        random_seed(static_cast<uint32_t>(std::time(nullptr)));
        seeded = true;
    }
    return make_double(random_draw() / 32767.0);
}

Value math_pow(Value a, Value b) {
    if (!is_number(a) || !is_number(b)) return kNaNValue;
    double x = as_double(a), y = as_double(b);
    if (y == 0) return make_int(1);
    if (x == 0) return make_int(0);
    if (x < 0 && y < 1) return kNaNValue;
    double p = std::pow(x, y);
    if (a.kind() == Kind::Int && b.kind() == Kind::Int && y >= 1) {
        bool fits = p >= -2147483648.0 && p < 2147483648.0;
        return make_int(fits ? static_cast<int32_t>(p) : INT32_MIN);
    }
    return make_double(p);
}

// The smallest (or largest) argument itself; the first wins among equals.
Value math_extreme(const Value* a, uint32_t n, bool largest) {
    for (uint32_t i = 0; i < n; ++i)
        if (!is_number(a[i])) return kNaNValue;
    Value best = a[0];
    for (uint32_t i = 1; i < n; ++i) {
        double d = as_double(a[i]), b = as_double(best);
        if (largest ? d > b : d < b) best = a[i];
    }
    return best;
}

using MathFn = Value (*)(const Value* a, uint32_t n);

Value m_abs(const Value* a, uint32_t) { return is_number(a[0]) ? math_abs(a) : kNaNValue; }
Value m_ceil(const Value* a, uint32_t) { return rounded(a[0], [](double d) { return std::ceil(d); }); }
Value m_floor(const Value* a, uint32_t) { return rounded(a[0], [](double d) { return std::floor(d); }); }
Value m_trunc(const Value* a, uint32_t) { return rounded(a[0], [](double d) { return std::trunc(d); }); }
Value m_round(const Value* a, uint32_t) { return rounded(a[0], half_away); }
Value m_random(const Value*, uint32_t) { return math_random(); }
Value m_pow(const Value* a, uint32_t) { return math_pow(a[0], a[1]); }
Value m_min(const Value* a, uint32_t n) { return math_extreme(a, n, false); }
Value m_max(const Value* a, uint32_t n) { return math_extreme(a, n, true); }

constexpr MethodRow<MathFn> kRows[] = {
    {"abs", exactly(1), m_abs},       {"ceil", exactly(1), m_ceil},   {"floor", exactly(1), m_floor},
    {"trunc", exactly(1), m_trunc},   {"round", exactly(1), m_round}, {"random", exactly(0), m_random},
    {"pow", exactly(2), m_pow},       {"min", at_least(1), m_min},    {"max", at_least(1), m_max},
};
constexpr auto kTable = method_table<8>(kRows, {err::math_method_unknown, CountErrors{err::math_argument_count, err::math_argument_count}});
static_assert(text_is(slot_text(kTable), "abs     ceil    floor   trunc   round   random  pow     min     max     "));

bool math_family(Value, uint32_t name, const Value* args, uint32_t n, Value* result) {
    int m = kTable.slot(name);
    if (m == kNoMethod) return false;
    check_arg_count(kTable[m].rule, n, *kTable.errors.count);
    *result = kTable[m].handler(args, n);
    return true;
}

}  // namespace

void math_install() { set_method_family(MethodFamily::Math, math_family, kTable.errors.unknown); }

MethodListing math_method_listing() { return listing_of("Math", kTable); }

}  // namespace koru
