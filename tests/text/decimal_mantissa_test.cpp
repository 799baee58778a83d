// decimal_mantissa against the plain loop that defines it, over every exponent and many
// fractions, with extra weight where a fast computation could go wrong: values whose 17th
// significant digit sits at a rounding half-way point, and values next to powers of ten.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>

#include "text/picture.hpp"

namespace tavrin {
namespace {

// The definition, step by step and nothing else: |x| = M * 2^n exactly, then one power of two
// at a time is traded for a factor of 5 (when 5M fits in 64 bits) or a halving (ties to even),
// or for n > 0 a doubling or a division by 5 to nearest; finally at most 16 digits, half up.
DecimalMantissa plain_decimal_mantissa(double x) {
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(x) & 0x7FFFFFFFFFFFFFFFull;
    const std::uint64_t e = bits >> 52;
    const std::uint64_t f = bits & 0x000FFFFFFFFFFFFFull;
    std::uint64_t m = e == 0 ? f : f + (1ull << 52);
    int n = e == 0 ? -1074 : static_cast<int>(e) - 1075;
    int d = 0;
    if (m == 0) return {};
    while (n < 0) {
        if (m <= 0x3333333333333333ull) {
            m = 5 * m;
            d = d - 1;
        } else {
            const std::uint64_t out = m % 2;
            m = m / 2;
            if (out == 1 && m % 2 == 1) m = m + 1;
        }
        ++n;
    }
    while (n > 0) {
        if (m < 0x8000000000000000ull) {
            m = 2 * m;
        } else {
            m = m / 5 + ((m % 5) >= 3 ? 1 : 0);  // nearest integer to m / 5
            d = d + 1;
        }
        --n;
    }
    const int digits = static_cast<int>(std::to_string(m).size());
    if (digits > 16) {
        std::uint64_t p = 1;
        for (int i = 0; i < digits - 16; ++i) p *= 10;
        const std::uint64_t q = m / p;
        m = (m - q * p) >= p / 2 ? q + 1 : q;
        d += digits - 16;
    }
    return {m, d};
}

// Fails the test with the value's bit pattern so that a failure can be replayed.
void expect_same(double x) {
    const DecimalMantissa want = plain_decimal_mantissa(x);
    const DecimalMantissa got = decimal_mantissa(x);
    if (got.m != want.m || got.d != want.d) {
        ADD_FAILURE() << "bits 0x" << std::hex << std::bit_cast<std::uint64_t>(x) << std::dec
                      << " (" << x << "): got (" << got.m << ", " << got.d << "), loop gives ("
                      << want.m << ", " << want.d << ")";
    }
}

double from_parts(std::uint64_t biased_exponent, std::uint64_t fraction) {
    return std::bit_cast<double>((biased_exponent << 52) | (fraction & 0x000FFFFFFFFFFFFFull));
}

// More samples for a long verification run: TAVRIN_MANTISSA_SCALE=100 multiplies every count.
int scale() {
    const char* text = std::getenv("TAVRIN_MANTISSA_SCALE");
    const int s = text != nullptr ? std::atoi(text) : 1;
    return s > 0 ? s : 1;
}

TEST(DecimalMantissaAgainstLoop, EveryExponentWithEdgeAndRandomFractions) {
    const std::uint64_t edges[] = {0,
                                   1,
                                   2,
                                   3,
                                   0x0000000000001ull << 20,
                                   0x7FFFFFFFFFFFFull,
                                   0x8000000000000ull,
                                   0x8000000000001ull,
                                   0xFFFFFFFFFFFFEull,
                                   0xFFFFFFFFFFFFFull,
                                   0x5555555555555ull,
                                   0xAAAAAAAAAAAAAull};
    std::mt19937_64 random(20240601u);
    const int samples = 60 * scale();
    // Biased exponent 0 holds the subnormals (fraction 0 is zero, which has no mantissa).
    for (std::uint64_t e = 0; e < 2047; ++e) {
        for (const std::uint64_t f : edges) {
            if (e == 0 && f == 0) continue;
            expect_same(from_parts(e, f));
        }
        for (int i = 0; i < samples; ++i) expect_same(from_parts(e, random()));
    }
}

// The magnitudes of data files (about 1e-8 to 1e16), where most values are rendered.
TEST(DecimalMantissaAgainstLoop, DenseOverDataMagnitudes) {
    std::mt19937_64 random(77u);
    const int samples = 4000 * scale();
    for (std::uint64_t e = 1075 - 130; e < 1075 + 2; ++e) {
        for (int i = 0; i < samples; ++i) expect_same(from_parts(e, random()));
    }
}

// Decimals whose 17th significant digit is a 5 followed by more digits lie within a few units
// of a 16-digit rounding half-way point: the nearest doubles and their neighbours.
TEST(DecimalMantissaAgainstLoop, NearSixteenDigitHalfWayPoints) {
    std::mt19937_64 random(4242u);
    const int samples = 40000 * scale();
    for (int i = 0; i < samples; ++i) {
        const std::uint64_t digits = 1000000000000000ull + random() % 9000000000000000ull;
        const int exponent = static_cast<int>(random() % 40) - 30;  // 1e-15 .. 1e25
        const std::string text = std::to_string(digits) + "5" + std::to_string(random() % 1000) +
                                 "e" + std::to_string(exponent - 16);
        double x = 0.0;
        std::from_chars(text.data(), text.data() + text.size(), x);
        for (int step = -3; step <= 3; ++step) {
            double y = x;
            for (int k = 0; k < step; ++k) y = std::nextafter(y, 1e300);
            for (int k = 0; k > step; --k) y = std::nextafter(y, 0.0);
            expect_same(y);
        }
    }
}

// Just below and above each power of ten the mantissa can end at 10^16 or change decade.
TEST(DecimalMantissaAgainstLoop, AroundPowersOfTen) {
    for (int k = -320; k <= 308; ++k) {
        const std::string text = "1e" + std::to_string(k);
        double x = 0.0;
        std::from_chars(text.data(), text.data() + text.size(), x);
        double below = x;
        double above = x;
        expect_same(x);
        for (int step = 0; step < 64; ++step) {
            below = std::nextafter(below, 0.0);
            above = std::nextafter(above, 1e308);
            expect_same(below);
            expect_same(above);
        }
    }
}

TEST(DecimalMantissaAgainstLoop, ReferenceLoopGivesTheDefinedExamples) {
    // The examples that define the loop, so that the reference itself is checked too.
    const DecimalMantissa one = plain_decimal_mantissa(1.0);
    EXPECT_EQ(one.m, 1000000000000000u);
    EXPECT_EQ(one.d, -15);
    const DecimalMantissa tenth = plain_decimal_mantissa(0.1);
    EXPECT_EQ(tenth.m, 1000000000000000u);
    EXPECT_EQ(tenth.d, -16);
    const DecimalMantissa angle = plain_decimal_mantissa(180.0);
    EXPECT_EQ(angle.m, 1800000000000000u);
    EXPECT_EQ(angle.d, -13);
    const DecimalMantissa tiny = plain_decimal_mantissa(4.9406564584124654e-324);
    EXPECT_EQ(tiny.m, 4940656458412465u);
    EXPECT_EQ(tiny.d, -339);
    const DecimalMantissa held = plain_decimal_mantissa(1.2345678905);
    EXPECT_EQ(held.m, 1234567890500000u);
    EXPECT_EQ(held.d, -15);
}

}  // namespace
}  // namespace tavrin
