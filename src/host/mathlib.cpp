#include "host/mathlib.h"

#include <dlfcn.h>
#include <gnu/lib-names.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace koru {

namespace {

constexpr uint64_t kSign = 0x8000000000000000ull;
constexpr uint64_t kExponentAll = 0x7FF0000000000000ull;
constexpr uint64_t kHidden = 0x0010000000000000ull;  // the implicit leading bit
constexpr uint64_t kFraction = kHidden - 1;

uint64_t bits_of(double d) { return std::bit_cast<uint64_t>(d); }
double double_of(uint64_t u) { return std::bit_cast<double>(u); }

// The significand of a positive finite non-zero magnitude with its exponent,
// scaled so that the hidden bit is bit 52 (subnormals are normalised, their
// exponent going below 1).
uint64_t significand(uint64_t magnitude, int& exponent) {
    exponent = static_cast<int>(magnitude >> 52);
    if (exponent != 0) return (magnitude & kFraction) | kHidden;
    int shift = __builtin_clzll(magnitude) - 11;
    exponent = 1 - shift;
    return magnitude << shift;
}

using PowFn = double (*)(double, double);
PowFn g_pow = nullptr;

[[gnu::noinline, gnu::cold]] PowFn load_pow() {
    void* library = dlopen(LIBM_SO, RTLD_NOW | RTLD_LOCAL);
    void* fn = library ? dlsym(library, "pow") : nullptr;
    if (!fn) {
        // The same end as a program whose libraries cannot be loaded.
        std::fprintf(stderr, "koru: cannot load pow from %s: %s\n", LIBM_SO, dlerror());
        std::_Exit(127);
    }
    return reinterpret_cast<PowFn>(fn);
}

}  // namespace

double exact_round(double d) {
    if (std::isnan(d) || std::isinf(d)) return d + d;   // a signalling NaN comes back quiet
    if (!(std::fabs(d) < 4503599627370496.0)) return d; // 2^52 and above: already whole
    // Truncation through an integer is exact below 2^52, and so is d - t.
    double t = static_cast<double>(static_cast<int64_t>(d));
    if (std::fabs(d - t) >= 0.5) t += d < 0 ? -1.0 : 1.0;
    return std::copysign(t, d);  // -0.4 gives -0
}

double exact_fmod(double x, double y) {
    uint64_t ux = bits_of(x), uy = bits_of(y);
    uint64_t sign = ux & kSign;
    ux &= ~kSign;
    uy &= ~kSign;
    // y zero, x infinite, or either a NaN: a NaN, made the way the C library
    // makes it.
    if (uy == 0 || ux >= kExponentAll || uy > kExponentAll) return (x * y) / (x * y);
    if (ux < uy) return x;                    // |x| < |y|, including x = ±0
    if (ux == uy) return double_of(sign);     // ±0 with the sign of x
    int ex, ey;
    uint64_t mx = significand(ux, ex), my = significand(uy, ey);
    // Long division one bit at a time; every step is exact.
    for (; ex > ey; --ex) {
        if (mx >= my) {
            mx -= my;
            if (mx == 0) return double_of(sign);
        }
        mx <<= 1;
    }
    if (mx >= my) {
        mx -= my;
        if (mx == 0) return double_of(sign);
    }
    // Normalise the remainder back to a hidden bit at 52.
    int shift = __builtin_clzll(mx) - 11;
    mx <<= shift;
    ex -= shift;
    uint64_t r;
    if (ex > 0) r = (mx & kFraction) | (static_cast<uint64_t>(ex) << 52);
    else r = mx >> (1 - ex);  // subnormal: the bits shifted out are zero
    return double_of(r | sign);
}

double system_pow(double x, double y) {
    if (!g_pow) [[unlikely]]
        g_pow = load_pow();
    return g_pow(x, y);
}

}  // namespace koru

extern "C" {
double __wrap_round(double d) { return koru::exact_round(d); }
double __wrap_fmod(double x, double y) { return koru::exact_fmod(x, y); }
double __wrap_pow(double x, double y) { return koru::system_pow(x, y); }
}
