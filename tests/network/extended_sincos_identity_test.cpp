// The faster sine and cosine against the code they replaced, bit for bit: the output bytes of
// every MA and DB file follow from these bits. TAVRIN_SINCOS_IDENTITY_COUNT sets the number of
// random angles per family (default 200000; the change was checked with 10^8 in all).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "network/extended_math.hpp"
#include "network/x87_values.hpp"
#include "network/extended_sincos_reference.hpp"

namespace tavrin {
namespace {

// Against x87 values, where long double holds them.
#if defined(TAVRIN_TEST_X87_VALUES)

long long random_count() {
    const char* text = std::getenv("TAVRIN_SINCOS_IDENTITY_COUNT");
    return text != nullptr ? std::atoll(text) : 200000;
}

// The 10 bytes that hold an x87 long double; the padding is not part of the value.
bool same_bits(long double a, long double b) {
    return std::memcmp(&a, &b, 10) == 0;
}

std::string hex(long double a) {
    char text[64];
    std::snprintf(text, sizeof text, "%La", a);
    return text;
}

// Counts the angles where the two disagree and reports the first few.
class Comparison {
public:
    void check(long double a) {
        const test::LongSineCosine got = test::sincos_of(a);
        const test::LongSineCosine want = reference::reference_sincos(a);
        ++checked_;
        if (same_bits(got.sine, want.sine) && same_bits(got.cosine, want.cosine)) return;
        if (++mismatches_ <= 5) ADD_FAILURE() << "angle " << hex(a);
    }
    long long checked() const { return checked_; }
    long long mismatches() const { return mismatches_; }

private:
    long long checked_ = 0;
    long long mismatches_ = 0;
};

long double radians(double degrees) {  // as the data conversions form the angle
    return (static_cast<long double>(3.14159265358979) * degrees) / 180.0L;
}

TEST(ExtendedSincosIdentity, EveryEighthOfADegreeWithinTenTurnsEachWay) {
    Comparison comparison;
    for (int eighths = -3600 * 8; eighths <= 3600 * 8; ++eighths) {
        comparison.check(radians(eighths / 8.0));
    }
    EXPECT_EQ(comparison.checked(), 57601);
    EXPECT_EQ(comparison.mismatches(), 0);
}

// Angles as files give them: 9 to 12 significant digits, within a half turn, ten turns and
// far beyond (where the other reduction takes over).
TEST(ExtendedSincosIdentity, DecimalDegreesOfNineToTwelveDigits) {
    std::mt19937_64 generator(20261208);
    const double limits[] = {180.0, 3600.0, 1e9};
    Comparison comparison;
    for (const double limit : limits) {
        std::uniform_real_distribution<double> value(-limit, limit);
        std::uniform_int_distribution<int> digits(9, 12);
        for (long long i = 0; i < random_count(); ++i) {
            char text[40];
            std::snprintf(text, sizeof text, "%.*g", digits(generator), value(generator));
            comparison.check(radians(std::strtod(text, nullptr)));
        }
    }
    EXPECT_EQ(comparison.mismatches(), 0);
}

// Any long double from 2^-40 to 2^70 in size: random significands, every binade, so both
// reductions, the table edges and the quadrant boundaries all come up.
TEST(ExtendedSincosIdentity, RandomLongDoublesOverEveryBinade) {
    std::mt19937_64 generator(7);
    std::uniform_int_distribution<int> exponent(-40, 70);
    Comparison comparison;
    for (long long i = 0; i < random_count(); ++i) {
        const std::uint64_t significand = generator() | (std::uint64_t{1} << 63);
        const long double unit = std::ldexp(static_cast<long double>(significand), -63);
        const long double a = std::ldexp(unit, exponent(generator));
        comparison.check((i & 1) != 0 ? -a : a);
    }
    EXPECT_EQ(comparison.mismatches(), 0);
}

// A few units either side of multiples of pi/4 and of the table spacing 1/64, where the
// quadrant or the table entry changes.
TEST(ExtendedSincosIdentity, NextToQuadrantAndTableBoundaries) {
    Comparison comparison;
    const long double quarter_pi = 0xc.90fdaa22168c235p-4L;
    for (int n = 1; n <= 400; ++n) {
        const long double points[] = {n * quarter_pi, n / 128.0L};
        for (long double a : points) {
            for (int step = 0; step < 20; ++step) a = std::nextafter(a, 0.0L);
            for (int step = 0; step < 40; ++step) {
                comparison.check(a);
                comparison.check(-a);
                a = std::nextafter(a, std::numeric_limits<long double>::infinity());
            }
        }
    }
    EXPECT_EQ(comparison.mismatches(), 0);
}

// Angles next to k times the first piece of pi/2 and k times the first two: there the partial
// remainders of the reduction shrink below the next piece, which reverses the order of the
// terms that its exact sums add.
TEST(ExtendedSincosIdentity, NextToMultiplesOfThePiecesOfHalfPi) {
    using reference::detail::half_pi_1;
    using reference::detail::half_pi_2;
    std::mt19937_64 generator(11);
    std::uniform_int_distribution<long> large_k(1, (1L << 20) / 2);
    Comparison comparison;
    for (int i = 1; i <= 4000; ++i) {
        const long k = i <= 2000 ? i : large_k(generator);
        const long double kl = static_cast<long double>(k);
        const long double centres[] = {kl * half_pi_1, kl * half_pi_1 + kl * half_pi_2};
        for (long double a : centres) {
            for (int step = 0; step < 20; ++step) a = std::nextafter(a, 0.0L);
            for (int step = 0; step < 40; ++step) {
                comparison.check(a);
                comparison.check(-a);
                a = std::nextafter(a, std::numeric_limits<long double>::infinity());
            }
        }
    }
    EXPECT_EQ(comparison.mismatches(), 0);
}

TEST(ExtendedSincosIdentity, SpecialValues) {
    const long double inf = std::numeric_limits<long double>::infinity();
    const long double values[] = {0.0L,
                                  -0.0L,
                                  0x1p-32L,
                                  0x1p-33L,
                                  0x1p20L,
                                  0x1p1000L,
                                  std::numeric_limits<long double>::max(),
                                  std::numeric_limits<long double>::denorm_min(),
                                  inf,
                                  -inf,
                                  std::numeric_limits<long double>::quiet_NaN()};
    Comparison comparison;
    for (const long double a : values) {
        comparison.check(a);
        comparison.check(-a);
    }
    EXPECT_EQ(comparison.mismatches(), 0);
}

#endif

}  // namespace
}  // namespace tavrin
