#include "network/extended_log_atan.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>

#if defined(TAVRIN_X87_LONG_DOUBLE)
#include "network/soft_extended.hpp"
#if defined(TAVRIN_HAS_QUADMATH)
#include <quadmath.h>

#include "network/extended_math.hpp"
#define TAVRIN_LOG_ATAN_REFERENCE 1
#endif
#endif

namespace tavrin {
namespace {

#if defined(TAVRIN_X87_LONG_DOUBLE)

using Limits = std::numeric_limits<long double>;

// Built from the 80-bit fields directly, independently of the code under test.
long double from_fields(std::uint16_t sign_exponent, std::uint64_t significand) {
    long double x = 0;
    std::memcpy(&x, &significand, 8);
    std::memcpy(reinterpret_cast<unsigned char*>(&x) + 8, &sign_exponent, 2);
    return x;
}

std::uint16_t sign_exponent_of(long double x) {
    std::uint16_t field;
    std::memcpy(&field, reinterpret_cast<const unsigned char*>(&x) + 8, 2);
    return field;
}

#if defined(TAVRIN_SANITIZED)
constexpr long kSweep = 100000;
#else
constexpr long kSweep = 2000000;
#endif

// A random significand with its integer bit, times 2^e.
long double random_scaled(std::mt19937_64& random, int e) {
    return from_fields(static_cast<std::uint16_t>(16383 + e), random() | (1ULL << 63));
}

// ln's arguments: the whole positive range, denormals, and values near 1.
long double log_argument(std::mt19937_64& random, long i) {
    switch (i % 5) {
        case 0:
        case 1: {
            // Near 1 on either side, from far below the last place to a quarter away.
            const int e = 2 + static_cast<int>(random() % 70);
            const long double t = random_scaled(random, -e);
            return (random() & 1) ? 1 + t : 1 - t;
        }
        case 2:
            return random_scaled(random, static_cast<int>(random() % 2) - 1);
        case 3: {
            // Denormals: a random significand below the integer bit, shifted down.
            const long double x = from_fields(0, (random() >> 1) >> (random() % 63));
            return x == 0 ? Limits::denorm_min() : x;
        }
        default:
            // Every exponent of the format.
            return random_scaled(random, static_cast<int>(random() % 32766) - 16382);
    }
}

struct AtanCase {
    long double y;
    long double x;
};

// atan2's arguments, in every quadrant.
AtanCase atan_arguments(std::mt19937_64& random, long i) {
    long double y, x;
    switch (i % 4) {
        case 0:
        case 1:
            // Magnitudes an S-parameter's parts can have, 1e-300 .. 1e300.
            y = random_scaled(random, static_cast<int>(random() % 1994) - 997);
            x = random_scaled(random, static_cast<int>(random() % 1994) - 997);
            break;
        case 2: {
            // |y| and |x| nearly equal: from a few units in the last place apart to 2^-2.
            x = random_scaled(random, static_cast<int>(random() % 200) - 100);
            const long double relative =
                random_scaled(random, -2 - static_cast<int>(random() % 64));
            y = x + x * ((random() & 1) ? relative : -relative);
            if (random() & 1) std::swap(x, y);
            break;
        }
        default:
            // The whole format, denormals included.
            y = from_fields(static_cast<std::uint16_t>(random() % 32767), random() | (1ULL << 63));
            x = from_fields(static_cast<std::uint16_t>(random() % 32767), random() | (1ULL << 63));
            if (sign_exponent_of(y) == 0) y = from_fields(0, random() >> (1 + random() % 63));
            break;
    }
    if (random() & 1) y = -y;
    if (random() & 1) x = -x;
    return {y, x};
}

#if defined(TAVRIN_LOG_ATAN_REFERENCE)

using Quad = __float128;

bool same_bits(long double a, long double b) {
    return std::memcmp(&a, &b, 10) == 0;
}

// Distance of got from the exact value in units in the last place of a 64-bit significand at
// the exact value's size (denormal spacing below the normal range).
double ulp_error(long double got, Quad exact) {
    if (!std::isfinite(got)) return std::numeric_limits<double>::infinity();
    if (exact == 0) return got == 0 ? 0.0 : std::numeric_limits<double>::infinity();
    int exponent = ilogbq(exact);
    if (exponent < -16382) exponent = -16382;
    return static_cast<double>(fabsq((static_cast<Quad>(got) - exact) / ldexpq(1, exponent - 63)));
}

// The designs keep the value before the last rounding within about 2^-74 of the result, so
// every result is within this of the exact value: half a unit and a margin of 2^-6 (the
// promise is one unit; a lost low-order term shows long before that).
constexpr double kDesignBound = 0.5 + 1.0 / 64;

// Within half a unit: the nearest value. The reference's own 113 bits decide that but for
// exact values within about 2^-48 units of a midpoint, where either neighbour counts.
bool nearest(long double got, Quad exact) {
    return ulp_error(got, exact) <= 0.5 + 0x1p-44;
}

// Counts for one sweep, printed so that the shares can be read from the test's output.
struct Tally {
    long count = 0;
    long correctly_rounded = 0;
    long same_as_x87 = 0;
    long x87_correctly_rounded = 0;
    double max_error = 0;
    double x87_max_error = 0;

    void add(long double got, Quad exact, long double x87) {
        ++count;
        correctly_rounded += nearest(got, exact);
        x87_correctly_rounded += nearest(x87, exact);
        same_as_x87 += same_bits(got, x87);
        max_error = std::max(max_error, ulp_error(got, exact));
        x87_max_error = std::max(x87_max_error, ulp_error(x87, exact));
    }
    void report(const char* name) const {
        std::printf(
            "%s: %ld arguments, max error %.6f ulp (the x87 instruction %.6f), correctly "
            "rounded %.4f %% (the x87 instruction %.4f %%), equal to the x87 "
            "instruction's %.4f %%\n",
            name, count, max_error, x87_max_error, 100.0 * correctly_rounded / count,
            100.0 * x87_correctly_rounded / count, 100.0 * same_as_x87 / count);
    }
};

// ---------------------------------------------------------------- ln

struct LogSpecial {
    long double x;
    long double expected;  // compared bit for bit, or as NaN
};

TEST(SoftwareNaturalLog, SpecialArgumentsGiveTheLibraryValues) {
    const long double inf = Limits::infinity();
    const long double nan = Limits::quiet_NaN();
    const LogSpecial cases[] = {
        {1.0L, 0.0L},
        {0.0L, -inf},
        {-0.0L, -inf},
        {inf, inf},
        {-1.0L, nan},
        {-Limits::denorm_min(), nan},
        {-Limits::max(), nan},
        {-inf, nan},
        {nan, nan},
        {-nan, nan},
        {Limits::signaling_NaN(), nan},
        // An unnormal: integer bit clear under a nonzero exponent, which the x87 unit rejects.
        {from_fields(0x3FFF, 0x4000000000000000ULL), nan},
    };
    for (const LogSpecial& c : cases) {
        const long double got = software_natural_log(c.x);
        if (std::isnan(c.expected)) {
            EXPECT_TRUE(std::isnan(got)) << c.x;
        } else {
            EXPECT_TRUE(same_bits(got, c.expected)) << c.x << " gave " << got;
        }
    }
}

TEST(SoftwareNaturalLog, HardArgumentsAreWithinHalfAUnit) {
    const long double ulp1 = 0x1p-63L;  // spacing just above 1
    const long double cases[] = {
        1 + ulp1,
        1 + 2 * ulp1,
        1 + 3 * ulp1,
        1 - ulp1 / 2,
        1 - ulp1,
        1 - 3 * ulp1 / 2,
        1 + 0x1p-32L,
        1 - 0x1p-33L,
        1 + 0x1p-20L + ulp1,
        1 - 0x1p-20L,
        // Edges of the reduction's intervals and of its largest r.
        1 + 0x1p-9L,
        1 + 0x1p-9L - ulp1,
        1 - 0x1p-10L,
        1 - 0x1p-10L - ulp1 / 2,
        1 + 3 * 0x1p-9L,
        2 - ulp1 * 2,
        2 - 0x1p-9L,
        2 - 0x1p-9L - 2 * ulp1,
        0.5L,
        0.5L + ulp1 / 2,
        0.5L - ulp1 / 4,
        1.4142135623730950488L,
        0.70710678118654752440L,
        2.7182818284590452354L,
        10.0L,
        // The ends of the range, denormals included.
        Limits::denorm_min(),
        2 * Limits::denorm_min(),
        3 * Limits::denorm_min(),
        Limits::min() - Limits::denorm_min(),
        Limits::min(),
        Limits::max(),
        from_fields(0x0000, 0x0000000123456789ULL),
        from_fields(0x7FFE, 0x8000000000000001ULL),
        0x1p-16000L,
        0x1p16000L,
        0x1.8p-8000L,
    };
    for (const long double x : cases) {
        const long double got = software_natural_log(x);
        EXPECT_LE(ulp_error(got, logq(static_cast<Quad>(x))), kDesignBound) << x;
    }
}

TEST(SoftwareNaturalLog, RandomArgumentsMatchQuadPrecision) {
    std::mt19937_64 random(20240611);
    Tally tally;
    for (long i = 0; i < kSweep; ++i) {
        const long double x = log_argument(random, i);
        const long double got = software_natural_log(x);
        const Quad exact = logq(static_cast<Quad>(x));
        ASSERT_LE(ulp_error(got, exact), kDesignBound) << x;
        tally.add(got, exact, std::log(x));  // the x87 fyl2x, as logl runs it
    }
    tally.report("ln");
    // Correctly rounded but for a few in 10^4 at most, by the designed error.
    EXPECT_GE(tally.correctly_rounded, tally.count - tally.count / 5000);
}

// ---------------------------------------------------------------- atan2

// The expected angle as a multiple of pi/4, or NaN; zeros by their sign.
struct AtanSpecial {
    long double y;
    long double x;
    int quarter_pis;
    bool negative = false;  // for a zero result
    bool nan = false;
};

TEST(SoftwareArcTangent, SpecialArgumentsFollowC99) {
    const long double inf = Limits::infinity();
    const long double nan = Limits::quiet_NaN();
    const AtanSpecial cases[] = {
        {0.0L, 0.0L, 0},
        {-0.0L, 0.0L, 0, true},
        {0.0L, -0.0L, 4},
        {-0.0L, -0.0L, -4},
        {0.0L, 1.0L, 0},
        {-0.0L, 1.0L, 0, true},
        {0.0L, -1.0L, 4},
        {-0.0L, -1.0L, -4},
        {0.0L, inf, 0},
        {-0.0L, inf, 0, true},
        {0.0L, -inf, 4},
        {-0.0L, -inf, -4},
        {1.0L, 0.0L, 2},
        {1.0L, -0.0L, 2},
        {-1.0L, 0.0L, -2},
        {-1.0L, -0.0L, -2},
        {inf, 0.0L, 2},
        {-inf, -0.0L, -2},
        {inf, 1.0L, 2},
        {inf, -1.0L, 2},
        {-inf, 1.0L, -2},
        {inf, inf, 1},
        {inf, -inf, 3},
        {-inf, inf, -1},
        {-inf, -inf, -3},
        {1.0L, inf, 0},
        {-1.0L, inf, 0, true},
        {1.0L, -inf, 4},
        {-1.0L, -inf, -4},
        {Limits::max(), inf, 0},
        {1.0L, 1.0L, 1},
        {-1.0L, -1.0L, -3},
        {Limits::max(), Limits::max(), 1},
        {Limits::denorm_min(), -Limits::denorm_min(), 3},
        {-Limits::max(), Limits::max(), -1},
        {nan, 1.0L, 0, false, true},
        {1.0L, nan, 0, false, true},
        {nan, nan, 0, false, true},
        {nan, inf, 0, false, true},
        {-inf, nan, 0, false, true},
        {0.0L, nan, 0, false, true},
        {nan, -0.0L, 0, false, true},
        {from_fields(0x3FFF, 0x4000000000000000ULL), 1.0L, 0, false, true},
    };
    for (const AtanSpecial& c : cases) {
        const long double got = software_arc_tangent(c.y, c.x);
        if (c.nan) {
            EXPECT_TRUE(std::isnan(got)) << c.y << ", " << c.x;
            continue;
        }
        const long double expected = c.quarter_pis == 0
                                         ? (c.negative ? -0.0L : 0.0L)
                                         : static_cast<long double>(atanq(1) * c.quarter_pis);
        EXPECT_TRUE(same_bits(got, expected)) << c.y << ", " << c.x << " gave " << got;
    }
}

TEST(SoftwareArcTangent, HardArgumentsAreWithinHalfAUnit) {
    const long double ulp1 = 0x1p-63L;
    const long double tiny = Limits::denorm_min();
    const AtanCase cases[] = {
        // The diagonal and next to it.
        {1 + ulp1, 1},
        {1, 1 + ulp1},
        {1 - ulp1 / 2, 1},
        {-1, 1 + ulp1},
        {1 + ulp1, -1},
        {-(1 - ulp1 / 2), -1},
        {0x1.0000000000000002p100L, 0x1p100L},
        {0x1p-300L, 0x1.0000000000000002p-300L},
        // The axes: tiny over large, either way and in every quadrant.
        {tiny, 1},
        {tiny, -1},
        {-tiny, -1},
        {1, tiny},
        {-1, -tiny},
        {Limits::max(), tiny},
        {tiny, Limits::max()},
        {-tiny, -Limits::max()},
        {1e-300L, 1e300L},
        {1e-300L, -1e300L},
        {-1e300L, 1e-300L},
        {0x1p-80L, 1},
        {0x1p-81L, 1},
        {0x1.fffffffffffffffep-81L, -1},
        {0x1p-64L, -1},
        {1, 0x1p-70L},
        {-1, -0x1p-90L},
        // Edges of the reduction's intervals, and the widest u.
        {1.0L / 128, 1},
        {1.0L / 128 - ulp1 / 256, 1},
        {1.0L / 128 + ulp1 / 128, 1},
        {3.0L / 128, 1},
        {3.0L / 128 - ulp1 / 64, 1},
        {127.0L / 128, 1},
        {127.0L / 128 + ulp1, 1},
        {1.0L / 64, 1},
        {0x1.ffffffffp-8L, 0x1.fffffffffffffffep0L},
        // Denormals on both sides, and operands at the top of the range.
        {3 * tiny, 2 * tiny},
        {-tiny, 7 * tiny},
        {Limits::min() - tiny, -Limits::min()},
        {Limits::max(), -Limits::max() / 3},
        {Limits::max(), Limits::max() * 0.999L},
    };
    for (const AtanCase& c : cases) {
        const long double got = software_arc_tangent(c.y, c.x);
        const Quad exact = atan2q(static_cast<Quad>(c.y), static_cast<Quad>(c.x));
        EXPECT_LE(ulp_error(got, exact), kDesignBound) << c.y << ", " << c.x;
    }
}

TEST(SoftwareArcTangent, RandomArgumentsMatchQuadPrecision) {
    std::mt19937_64 random(20240612);
    Tally tally;
    for (long i = 0; i < kSweep; ++i) {
        const auto [y, x] = atan_arguments(random, i);
        const long double got = software_arc_tangent(y, x);
        const Quad exact = atan2q(static_cast<Quad>(y), static_cast<Quad>(x));
        ASSERT_LE(ulp_error(got, exact), kDesignBound) << y << ", " << x;
        tally.add(got, exact, std::atan2(y, x));  // the x87 fpatan, as atan2l runs it
    }
    tally.report("atan2");
    EXPECT_GE(tally.correctly_rounded, tally.count - tally.count / 5000);
}

#endif  // TAVRIN_LOG_ATAN_REFERENCE

// ---------------------------------------------------------------- on SoftExtended
// SoftExtended rounds every operation as the x87 unit does, so the two instantiations take the
// same steps to the same bits, NaNs included.

std::uint64_t significand_of(long double x) {
    std::uint64_t significand;
    std::memcpy(&significand, &x, 8);
    return significand;
}

SoftExtended soft(long double x) {
    return SoftExtended::from_bits(sign_exponent_of(x), significand_of(x));
}

bool same_bits(SoftExtended a, long double b) {
    return a.sign_exponent() == sign_exponent_of(b) && a.significand() == significand_of(b);
}

TEST(SoftwareLogAtanOnSoftExtended, SpecialArgumentsGiveTheLongDoubleBits) {
    const long double inf = Limits::infinity();
    const long double arguments[] = {
        0.0L,
        -0.0L,
        1.0L,
        -1.0L,
        1 + 0x1p-63L,
        1 - 0x1p-64L,
        0.5L,
        2.0L,
        inf,
        -inf,
        Limits::quiet_NaN(),
        -Limits::quiet_NaN(),
        Limits::signaling_NaN(),
        Limits::denorm_min(),
        -3 * Limits::denorm_min(),
        Limits::min(),
        Limits::max(),
        -Limits::max(),
        from_fields(0x3FFF, 0x4000000000000000ULL),
        from_fields(0x0000, 0x8000000000000000ULL),  // a pseudo-denormal
    };
    for (const long double x : arguments) {
        EXPECT_TRUE(same_bits(software_natural_log(soft(x)), software_natural_log(x))) << x;
        for (const long double y : arguments) {
            EXPECT_TRUE(
                same_bits(software_arc_tangent(soft(y), soft(x)), software_arc_tangent(y, x)))
                << y << ", " << x;
        }
    }
}

TEST(SoftwareLogAtanOnSoftExtended, RandomArgumentsGiveTheLongDoubleBits) {
    std::mt19937_64 random(20240613);
    for (long i = 0; i < kSweep / 4; ++i) {
        const long double x = log_argument(random, i);
        ASSERT_TRUE(same_bits(software_natural_log(soft(x)), software_natural_log(x))) << x;
        const auto [b, a] = atan_arguments(random, i);
        ASSERT_TRUE(same_bits(software_arc_tangent(soft(b), soft(a)), software_arc_tangent(b, a)))
            << b << ", " << a;
    }
}

#else

TEST(SoftwareLogAtan, NeedsTheX87Format) {
    GTEST_SKIP() << "checked against long double as the x87 format";
}

#endif

}  // namespace
}  // namespace tavrin
