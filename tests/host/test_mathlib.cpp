// round and fmod computed by the engine must agree bit for bit with the C
// library's (this test program links the real ones), and pow must be the
// library's own.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "host/mathlib.h"

namespace koru::testing {
namespace {

uint64_t bits(double d) { return std::bit_cast<uint64_t>(d); }
double from_bits(uint64_t u) { return std::bit_cast<double>(u); }

// Agreement bit for bit; any NaN agrees with any NaN of the same sign.
::testing::AssertionResult same(double got, double want) {
    if (std::isnan(got) && std::isnan(want) && std::signbit(got) == std::signbit(want))
        return ::testing::AssertionSuccess();
    if (bits(got) == bits(want)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << std::hexfloat << got << " (" << std::hex << bits(got) << ") != " << want
                                         << " (" << bits(want) << ")";
}

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kMin = std::numeric_limits<double>::denorm_min();
const double kMax = std::numeric_limits<double>::max();

// Edge values: zeros, subnormals, halves, the 2^52 boundary, huge values.
std::vector<double> edges() {
    std::vector<double> v = {0.0,
                             1.0,
                             0.5,
                             0.49999999999999994,
                             0.5000000000000001,
                             1.5,
                             2.5,
                             3.5,
                             0.1,
                             2.0 / 3.0,
                             7.0,
                             10.0,
                             4294967296.0,
                             4294967297.5,
                             1e10,
                             123456789.123,
                             4503599627370495.5,
                             4503599627370496.0,
                             4503599627370497.0,
                             9007199254740993.0,
                             1e300,
                             kMax,
                             kMin,
                             3 * kMin,
                             std::numeric_limits<double>::min(),
                             std::numeric_limits<double>::min() * 1.5,
                             kInf,
                             kNaN};
    size_t n = v.size();
    for (size_t i = 0; i < n; ++i) v.push_back(-v[i]);
    return v;
}

TEST(MathLib, RoundEdges) {
    for (double d : edges()) EXPECT_TRUE(same(exact_round(d), std::round(d))) << std::hexfloat << d;
    EXPECT_TRUE(same(exact_round(-2.5), -3.0));
    EXPECT_TRUE(same(exact_round(-0.4), -0.0));  // the sign of a zero result stays
    EXPECT_TRUE(same(exact_round(0.49999999999999994), 0.0));
}

TEST(MathLib, RoundRandomBitPatterns) {
    std::mt19937_64 gen(20240305);
    for (int i = 0; i < 200000; ++i) {
        double d = from_bits(gen());
        ASSERT_TRUE(same(exact_round(d), std::round(d))) << std::hexfloat << d;
    }
    // Values near whole numbers and halves, where rounding decides.
    std::uniform_real_distribution<double> near(-1e6, 1e6);
    for (int i = 0; i < 100000; ++i) {
        double w = std::floor(near(gen)) + (i % 2 ? 0.5 : 0.0);
        for (double d : {std::nextafter(w, -kInf), w, std::nextafter(w, kInf)})
            ASSERT_TRUE(same(exact_round(d), std::round(d))) << std::hexfloat << d;
    }
}

TEST(MathLib, FmodEdges) {
    for (double x : edges())
        for (double y : edges()) EXPECT_TRUE(same(exact_fmod(x, y), std::fmod(x, y))) << std::hexfloat << x << " " << y;
    EXPECT_TRUE(same(exact_fmod(-8.0, 4.0), -0.0));  // an exact multiple keeps the sign of x
    EXPECT_TRUE(same(exact_fmod(5.5, -2.0), 1.5));
    EXPECT_TRUE(same(exact_fmod(-5.5, 2.0), -1.5));
    EXPECT_TRUE(same(exact_fmod(3.0, kInf), 3.0));
    EXPECT_TRUE(std::isnan(exact_fmod(3.0, 0.0)));
    EXPECT_TRUE(std::isnan(exact_fmod(kInf, 3.0)));
}

TEST(MathLib, FmodRandom) {
    std::mt19937_64 gen(19700101);
    for (int i = 0; i < 50000; ++i) {
        double x = from_bits(gen()), y = from_bits(gen());
        ASSERT_TRUE(same(exact_fmod(x, y), std::fmod(x, y))) << std::hexfloat << x << " " << y;
    }
    // Close exponents (the common case) and subnormal divisors.
    std::uniform_real_distribution<double> mag(-1e12, 1e12);
    for (int i = 0; i < 200000; ++i) {
        double x = mag(gen), y = i % 3 ? mag(gen) / 1e6 : from_bits(gen() & 0x800FFFFFFFFFFFFFull);
        ASSERT_TRUE(same(exact_fmod(x, y), std::fmod(x, y))) << std::hexfloat << x << " " << y;
    }
    // The engine's own use: a whole number modulo 2^32.
    for (int i = 0; i < 100000; ++i) {
        double t = std::trunc(mag(gen) * 1e6);
        ASSERT_TRUE(same(exact_fmod(t, 4294967296.0), std::fmod(t, 4294967296.0))) << std::hexfloat << t;
    }
}

TEST(MathLib, PowIsTheLibrarys) {
    std::mt19937_64 gen(42);
    std::uniform_real_distribution<double> base(-50, 50), power(-20, 20);
    for (int i = 0; i < 20000; ++i) {
        double x = base(gen), y = i % 2 ? power(gen) : std::round(power(gen));
        ASSERT_TRUE(same(system_pow(x, y), std::pow(x, y))) << std::hexfloat << x << " " << y;
    }
    for (double x : edges())
        for (double y : edges()) EXPECT_TRUE(same(system_pow(x, y), std::pow(x, y))) << std::hexfloat << x << " " << y;
}

}  // namespace
}  // namespace koru::testing
