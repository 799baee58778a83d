#include "network/extended_math.hpp"
#include "network/x87_values.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <utility>
#include <vector>

namespace tavrin {
namespace {

// References in 113-bit __float128 arithmetic, by plain Taylor series: nothing shared with the
// code under test. pi comes from its published hexadecimal digits 3.243F6A8885A308D3 13198A2E...
#if defined(__SIZEOF_FLOAT128__)
using Quad = __float128;
#else  // aarch64 has no __float128: its long double is that 113-bit type
using Quad = long double;
#endif

Quad two_to(int e) {
    return static_cast<Quad>(std::ldexp(1.0L, e));
}

#if defined(TAVRIN_TEST_X87_VALUES)
const Quad half_pi[3] = {(3 + 0x243F6A8885A308D3ULL * two_to(-64)) / 2,
                         0x13198A2E03707344ULL * two_to(-129),
                         0xA4093822299F31D0ULL * two_to(-193)};

// sin and cos of a long double, to about 2^-110, for |a| < 2^45.
void quad_sin_cos(long double a, Quad& sine, Quad& cosine) {
    const Quad x = a;
    const Quad q = x / half_pi[0];
    const auto k = static_cast<std::int64_t>(q < 0 ? q - 0.5 : q + 0.5);
    const Quad r = ((x - k * half_pi[0]) - k * half_pi[1]) - k * half_pi[2];
    Quad s = r, c = 1, s_term = r, c_term = 1;
    for (int n = 1; n < 30; ++n) {
        s_term *= -r * r / ((2 * n) * (2 * n + 1));
        c_term *= -r * r / ((2 * n - 1) * (2 * n));
        s += s_term;
        c += c_term;
    }
    const Quad turned[4][2] = {{s, c}, {c, -s}, {-s, -c}, {-c, s}};
    sine = turned[k & 3][0];
    cosine = turned[k & 3][1];
}
#endif

// 10^x rounded once, from quad: ln 10 = 3 ln 2 + 2 atanh(1/9), e^z = 2^n e^r.
double quad_power_of_ten(double x) {
    Quad ln2 = 0, atanh = 0, ninth_power = Quad(1) / 9;
    for (int k = 130; k >= 1; --k) ln2 += two_to(-k) / k;
    for (int k = 0; k < 20; ++k, ninth_power /= 81) atanh += ninth_power / (2 * k + 1);
    const Quad z = x * (3 * ln2 + 2 * atanh);
    const int n = static_cast<int>(z / ln2 + (z < 0 ? -0.5 : 0.5));
    const Quad r = z - n * ln2;
    Quad sum = 1, term = 1;
    for (int k = 1; k < 40; ++k) sum += term *= r / k;
    return static_cast<double>(sum * two_to(n));
}

// The sine and cosine against x87 values, where long double holds them.
#if defined(TAVRIN_TEST_X87_VALUES)
// Signed distance in units in the last place of the long double nearest the reference.
double ulps(long double got, Quad want) {
    int e = 0;
    std::frexp(static_cast<long double>(want), &e);
    return static_cast<double>((static_cast<Quad>(got) - want) / two_to(e - 64));
}

// Correct rounding allows 0.5; the rounding of the corrections costs at most about 2^-14 more.
constexpr double tolerance = 0.501;

long double radians(double degrees) {  // as the data conversions form the angle
    return (static_cast<long double>(3.14159265358979) * degrees) / 180.0L;
}

void expect_accurate(long double a) {
    Quad sine, cosine;
    quad_sin_cos(a, sine, cosine);
    const test::LongSineCosine got = test::sincos_of(a);
    EXPECT_LE(std::fabs(ulps(got.sine, sine)), tolerance) << "sin " << static_cast<double>(a);
    EXPECT_LE(std::fabs(ulps(got.cosine, cosine)), tolerance) << "cos " << static_cast<double>(a);
}

struct AngleCase {
    const char* name;
    double degrees;
};

void PrintTo(const AngleCase& c, std::ostream* os) {
    *os << c.name;
}

class AngleTable : public ::testing::TestWithParam<AngleCase> {};

// The right angles are where the x87 fsincos of MinGW-w64 is thousands of units off.
TEST_P(AngleTable, SineAndCosineAreCorrectlyRounded) {
    expect_accurate(radians(GetParam().degrees));
}

INSTANTIATE_TEST_SUITE_P(
    ExtendedSinCos, AngleTable,
    ::testing::Values(AngleCase{"thousandth", 0.001}, AngleCase{"one", 1}, AngleCase{"thirty", 30},
                      AngleCase{"forty_five", 45}, AngleCase{"just_below_right", 89.999999999},
                      AngleCase{"right", 90}, AngleCase{"minus_right", -90},
                      AngleCase{"half_turn", 180}, AngleCase{"minus_half_turn", -180},
                      AngleCase{"three_right", 270}, AngleCase{"full_turn", 360},
                      AngleCase{"two_turns", 720}, AngleCase{"many_digits", 123.456789012},
                      AngleCase{"large", 1e6}, AngleCase{"larger", 123456789.123}),
    [](const ::testing::TestParamInfo<AngleCase>& info) { return std::string(info.param.name); });

TEST(ExtendedSinCos, SampledArgumentsAreCorrectlyRounded) {
    std::mt19937_64 rng(2024);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int i = 0; i < 20000; ++i) expect_accurate(radians(unit(rng) * 1440 - 720));
    // Both reductions: 2^20 is where the exact multiplication by 2/pi takes over.
    for (int i = 0; i < 4000; ++i) {
        expect_accurate(std::ldexp(1 + static_cast<long double>(unit(rng)), i % 84 - 40));
    }
}

// Huge arguments, against values worked out to thousands of digits beforehand.
TEST(ExtendedSinCos, HugeArgumentsAreReducedExactly) {
    struct Case {
        long double a, sine, cosine;
    };
    const Case cases[] = {
        {0x8.78678326eac9000p+70L, -0xd.a29d5bb5f9cb87dp-4L, 0x8.5f167780e479c9ap-4L},  // 1e22
        {0xc.90fdaa22168c235p+997L, 0xd.fb40ecb037c0370p-8L, 0xf.f9e2fb80ac25d61p-4L},
        {0xf.fffffffffffffffp+1085L, -0x8.b7b334de45e4dfap-4L, -0xd.6aa30f53e15efa6p-4L},
        {0x8.000000000000000p+20L, 0xd.d4fa2e8e53e2548p-5L, -0xe.6d964f0cf1bfabfp-4L},
        {0xf.fffffffffffffffp+59L, 0xd.f327e112abeef8fp-4L, 0xf.ac035ec484929c2p-5L},
        {0xb.17217f7d1cf79acp+400L, 0x8.78e8dffd3e3d000p-4L, -0xd.92a107b3d9c5085p-4L},
        {0x9.b1e1d2c3f4a5b6cp+600L, -0x8.cbc16fce6cce767p-4L, -0xd.5d85a0826d6a50ep-4L},
        {0xd.0f1e2d3c4b5a697p+800L, -0xf.4d483b9889017bdp-5L, 0xe.0d5a1a05a70c535p-4L},
        // The angle of 1.7976931348623157e308 degrees.
        {0x8.efa351294e99abap+1015L, 0x8.34ffc9f08a0cc60p-4L, 0xd.bc1bc1d5293e40cp-4L},
    };
    for (const Case& c : cases) {
        const test::LongSineCosine got = test::sincos_of(c.a);
        EXPECT_EQ(got.sine, c.sine) << static_cast<double>(c.a);
        EXPECT_EQ(got.cosine, c.cosine) << static_cast<double>(c.a);
        const test::LongSineCosine negated = test::sincos_of(-c.a);
        EXPECT_EQ(negated.sine, -c.sine);
        EXPECT_EQ(negated.cosine, c.cosine);
    }
    // Past the exact range the results mean nothing, but must stay finite and in [-1, 1].
    for (long double a : {0x1p1100L, std::numeric_limits<long double>::max()}) {
        const test::LongSineCosine got = test::sincos_of(a);
        EXPECT_LE(std::fabs(got.sine), 1.0L);
        EXPECT_LE(std::fabs(got.cosine), 1.0L);
    }
}

bool same_bits(long double a, long double b) {
    return std::memcmp(&a, &b, 10) == 0;  // the 80 bits that carry the value
}

TEST(ExtendedSinCos, ZerosTinyValuesAndNonFiniteArguments) {
    const test::LongSineCosine plus = test::sincos_of(0.0L);
    const test::LongSineCosine minus = test::sincos_of(-0.0L);
    EXPECT_TRUE(same_bits(plus.sine, 0.0L));
    EXPECT_TRUE(same_bits(minus.sine, -0.0L));
    EXPECT_EQ(plus.cosine, 1.0L);
    EXPECT_EQ(minus.cosine, 1.0L);
    const long double tiny = std::numeric_limits<long double>::denorm_min();
    EXPECT_EQ(test::sincos_of(-tiny).sine, -tiny);
    EXPECT_EQ(test::sincos_of(0x1p-33L).cosine, 1.0L);
    // NaN as glibc's sinl and the x87 fsincos give it: the default NaN of inf - inf for an
    // infinity, a NaN itself passed on.
    volatile long double inf = std::numeric_limits<long double>::infinity();
    const long double default_nan = inf - inf;
    const long double nan = std::numeric_limits<long double>::quiet_NaN();
    const long double cases[][2] = {
        {inf, default_nan}, {-inf, default_nan}, {nan, nan}, {-nan, -nan}};
    for (const auto& c : cases) {
        const test::LongSineCosine got = test::sincos_of(c[0]);
        EXPECT_TRUE(same_bits(got.sine, c[1]));
        EXPECT_TRUE(same_bits(got.cosine, c[1]));
    }
}

#endif

TEST(PowerOfTen, WholePowersAreExact) {
    double exact = 1;
    for (int k = 0; k <= 22; ++k, exact *= 10) EXPECT_EQ(power_of_ten(k), exact) << k;
    EXPECT_EQ(power_of_ten(-1), 0.1);
    EXPECT_EQ(power_of_ten(-2), 0.01);  // MinGW-w64's pow is 1 unit above
    EXPECT_EQ(power_of_ten(-3), 0.001);
}

TEST(PowerOfTen, IsCorrectlyRoundedOverTheDoubleRange) {
    // Every dB value of two decimals in -100 .. 20, as the conversion forms the exponent.
    for (int hundredths = -10000; hundredths <= 2000; ++hundredths) {
        const double x = static_cast<double>(static_cast<long double>(hundredths / 100.0) * 0.05);
        ASSERT_EQ(power_of_ten(x), quad_power_of_ten(x)) << hundredths / 100.0 << " dB";
    }
    // Through overflow and the subnormals to 0.
    std::mt19937_64 rng(10);
    std::uniform_real_distribution<double> exponent(-330, 312);
    for (int i = 0; i < 4000; ++i) {
        const double x = exponent(rng);
        ASSERT_EQ(power_of_ten(x), quad_power_of_ten(x)) << x;
    }
}

TEST(PowerOfTen, NonFiniteExponents) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(power_of_ten(inf), inf);
    EXPECT_EQ(power_of_ten(-inf), 0.0);
    for (const double nan :
         {std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN()}) {
        EXPECT_EQ(std::bit_cast<std::uint64_t>(power_of_ten(nan)),
                  std::bit_cast<std::uint64_t>(nan));
    }
}

// The hardware path's ln and atan2; the software ones have tests of their own.
#if !defined(TAVRIN_SOFT_EXTENDED) && defined(TAVRIN_TEST_X87_VALUES)
// natural_log and arc_tangent stand in for the library's logl and atan2l and must give their
// bits for every argument: compared over special values, both sides of the switch at 1 +- 0.29,
// moduli as the conversion forms them, and arguments from every binade.
TEST(X87Functions, NaturalLogGivesTheLibrarysBits) {
    const long double inf = std::numeric_limits<long double>::infinity();
    const long double limit = 0.29;
    std::vector<long double> arguments = {
        0.0L, -0.0L, -1.0L, 1.0L, 2.0L, 0.5L, inf, -inf,
        std::numeric_limits<long double>::quiet_NaN(),
        std::numeric_limits<long double>::denorm_min(), std::numeric_limits<long double>::min(),
        std::numeric_limits<long double>::max()};
    for (const long double edge : {1 + limit, 1 - limit}) {
        long double below = edge, above = edge;
        for (int step = 0; step < 20; ++step) {
            arguments.push_back(below = std::nextafter(below, 0.0L));
            arguments.push_back(above = std::nextafter(above, 2.0L));
        }
        arguments.push_back(edge);
    }
    std::mt19937_64 rng(29);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int i = 0; i < 100000; ++i) {
        arguments.push_back(0.6L + static_cast<long double>(unit(rng)) * 0.8L);  // near 1
        const long double re = std::ldexp(unit(rng) - 0.5, i % 200 - 100);
        const long double im = std::ldexp(unit(rng) - 0.5, i % 160 - 80);
        arguments.push_back(std::sqrt(re * re + im * im));
        arguments.push_back(std::ldexp(1 + static_cast<long double>(unit(rng)), i % 32000 - 16000));
    }
    int mismatches = 0;
    for (const long double x : arguments) {
        if (!same_bits(natural_log(x), std::log(x)) && ++mismatches <= 5) {
            ADD_FAILURE() << "ln of " << static_cast<double>(x);
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(X87Functions, ArcTangentGivesTheLibrarysBits) {
    const long double inf = std::numeric_limits<long double>::infinity();
    const long double nan = std::numeric_limits<long double>::quiet_NaN();
    const long double specials[] = {0.0L, -0.0L, 1.0L, -1.0L, 1e-300L, -3e300L, inf, -inf, nan};
    std::vector<std::pair<long double, long double>> arguments;
    for (const long double y : specials) {
        for (const long double x : specials) arguments.emplace_back(y, x);
    }
    std::mt19937_64 rng(2);
    std::uniform_real_distribution<double> unit(-1, 1);
    for (int i = 0; i < 200000; ++i) {
        arguments.emplace_back(std::ldexp(unit(rng), i % 64 - 32), std::ldexp(unit(rng), i % 50 - 25));
    }
    int mismatches = 0;
    for (const auto& [y, x] : arguments) {
        if (!same_bits(arc_tangent(y, x), std::atan2(y, x)) && ++mismatches <= 5) {
            ADD_FAILURE() << "atan2 of " << static_cast<double>(y) << ", " << static_cast<double>(x);
        }
    }
    EXPECT_EQ(mismatches, 0);
}

#endif

}  // namespace
}  // namespace tavrin
