#include "network/conversions.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <string>

#include "network/float_bits.hpp"

namespace tavrin {
namespace {

using float_bits::bits;
using float_bits::same_up_to_zero_sign;

constexpr double inf = std::numeric_limits<double>::infinity();

enum class Direction { to_ri, from_ri };

struct ConversionCase {
    const char* name;
    Direction direction;
    DataFormat format;
    Complex input;
    Complex expected;
    // Allowed absolute error per component; 0 demands the exact value (sign of zero aside).
    double tolerance_re;
    double tolerance_im;
};

// Name the case in failure messages instead of dumping its bytes.
void PrintTo(const ConversionCase& c, std::ostream* os) {
    *os << c.name;
}

Complex convert(const ConversionCase& c) {
    Complex pair = c.input;
    if (c.direction == Direction::to_ri) {
        convert_to_ri(pair, c.format);
    } else {
        convert_from_ri(pair, c.format);
    }
    return pair;
}

void expect_component(double actual, double expected, double tolerance) {
    if (tolerance == 0.0) {
        EXPECT_TRUE(same_up_to_zero_sign(actual, expected))
            << "got " << actual << " expected exactly " << expected;
    } else {
        EXPECT_NEAR(actual, expected, tolerance);
    }
}

class ConversionTable : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(ConversionTable, GivesTheTabulatedPair) {
    const ConversionCase& c = GetParam();
    const Complex result = convert(c);
    expect_component(result.re, c.expected.re, c.tolerance_re);
    expect_component(result.im, c.expected.im, c.tolerance_im);
}

constexpr auto to_ri = Direction::to_ri;
constexpr auto from_ri = Direction::from_ri;
constexpr auto ma = DataFormat::ma;
constexpr auto db = DataFormat::db;

INSTANTIATE_TEST_SUITE_P(
    DataFormatConversion, ConversionTable,
    ::testing::Values(
        ConversionCase{"ma_unit", to_ri, ma, {1, 0}, {1, 0}, 0, 0},
        // The short pi leaves cos(90 degrees) about 3.2e-15 instead of 0.
        ConversionCase{"ma_quarter_turn", to_ri, ma, {2, 90}, {3.2e-15, 2}, 0.05e-15, 0},
        ConversionCase{"ma_half_turn", to_ri, ma, {1, 180}, {-1, 3.2e-15}, 0, 0.05e-15},
        ConversionCase{"db_zero", to_ri, db, {0, 0}, {1, 0}, 0, 0},
        ConversionCase{"db_twenty", to_ri, db, {20, 0}, {10, 0}, 0, 0},
        ConversionCase{"db_minus_twenty", to_ri, db, {-20, 0}, {0.1, 0}, 0, 0},
        ConversionCase{"ma_negative_magnitude_turns_half", to_ri, ma, {-2, 0}, {-2, 0}, 0, 0},
        ConversionCase{"from_ma_origin", from_ri, ma, {0, 0}, {0, 0}, 0, 0},
        ConversionCase{"from_db_origin", from_ri, db, {0, 0}, {-inf, 0}, 0, 0},
        ConversionCase{"from_db_unit", from_ri, db, {1, 0}, {0, 0}, 0, 0},
        ConversionCase{"from_ma_i", from_ri, ma, {0, 1}, {1, 90.0000000000001}, 0, 0},
        ConversionCase{
            "from_ma_three_four", from_ri, ma, {3, -4}, {5, -53.130102354156}, 0, 0.5e-12},
        // The squares (1e600) are never stored as doubles, so nothing overflows.
        ConversionCase{"from_ma_huge",
                       from_ri,
                       ma,
                       {1e300, 1e300},
                       {1.41421356e300, 45},
                       0.00000001e300,
                       1e-12}),
    [](const ::testing::TestParamInfo<ConversionCase>& info) {
        return std::string(info.param.name);
    });

TEST(DataFormatConversion, TenIsJustUnderTwentyDecibels) {
    // The dB-per-neper factor is a little below 20 / ln 10, so ln 10 times it rounds to the
    // double just below 20.
    Complex pair{10, 0};
    convert_from_ri(pair, DataFormat::db);
    const double just_below_twenty = std::nextafter(20.0, 0.0);
    EXPECT_EQ(bits(pair.re), bits(just_below_twenty));
    EXPECT_EQ(bits(pair.re), bits(19.999999999999996));
    EXPECT_EQ(pair.im, 0.0);
}

double steps_above(double x, int steps) {
    for (int i = 0; i < steps; ++i) x = std::nextafter(x, inf);
    return x;
}

TEST(DataFormatConversion, NegativeRealAxisGivesSlightlyMoreThanAHalfTurn) {
    // pi (rounded to 64 bits) times the stored degrees-per-radian factor, rounded once;
    // 180.0000000000002 is seven units in the last place above 180.
    const long double pi = 3.141592653589793238462643383279502884L;
    const double expected = static_cast<double>(pi * static_cast<long double>(57.29577951308238));
    ASSERT_EQ(bits(expected), bits(180.0000000000002));
    ASSERT_EQ(bits(expected), bits(steps_above(180.0, 7)));

    Complex upper{-1.0, 0.0};
    convert_from_ri(upper, DataFormat::ma);
    EXPECT_EQ(bits(upper.re), bits(1.0));
    EXPECT_EQ(bits(upper.im), bits(expected));

    // The sign of the zero imaginary part picks the end of the arc-tangent range.
    Complex lower{-1.0, -0.0};
    convert_from_ri(lower, DataFormat::ma);
    EXPECT_EQ(bits(lower.re), bits(1.0));
    EXPECT_EQ(bits(lower.im), bits(-expected));
}

TEST(DataFormatConversion, QuarterTurnIsSevenUnitsAboveNinety) {
    Complex pair{0.0, 1.0};
    convert_from_ri(pair, DataFormat::ma);
    EXPECT_EQ(bits(pair.im), bits(steps_above(90.0, 7)));
}

TEST(DataFormatConversion, AngleOutsideAHalfTurnComesBackInside) {
    Complex pair{1, 370};
    convert_to_ri(pair, DataFormat::ma);
    convert_from_ri(pair, DataFormat::ma);
    EXPECT_NEAR(pair.re, 1.0, 1e-15);
    EXPECT_NEAR(pair.im, 10.0, 1e-11);
}

TEST(DataFormatConversion, AngleIsNotRoundedBeforeSineAndCosine) {
    // Expected: sine and cosine of the extended angle, each product rounded once.
    const double degrees = 7.711;
    Complex pair{1.0, degrees};
    convert_to_ri(pair, DataFormat::ma);
    const long double angle = (static_cast<long double>(3.14159265358979) * degrees) / 180.0L;
    EXPECT_EQ(bits(pair.im), bits(static_cast<double>(std::sin(angle) * 1.0L)));
    EXPECT_EQ(bits(pair.re), bits(static_cast<double>(1.0L * std::cos(angle))));

    // For this angle, rounding it to double first would change both components.
    const long double rounded_angle = static_cast<double>(angle);
    EXPECT_NE(bits(pair.im), bits(static_cast<double>(std::sin(rounded_angle))));
    EXPECT_NE(bits(pair.re), bits(static_cast<double>(std::cos(rounded_angle))));
}

TEST(DataFormatConversion, DecibelExponentIsAnExtendedProductRoundedOnce) {
    // The exponent is first x 0.05 formed in the extended type and rounded to double once; for
    // this value a plain double product differs in the last bit, and so does the power.
    const double first = -95.998;
    Complex pair{first, 0.0};
    convert_to_ri(pair, DataFormat::db);
    const double exponent = static_cast<double>(Extended(first) * Extended(0.05));
    const double expected = std::pow(10.0, exponent);
    EXPECT_EQ(bits(pair.re), bits(expected));
    EXPECT_NE(bits(pair.re), bits(std::pow(10.0, first * 0.05)));
}

TEST(DataFormatConversion, DecibelRoundTripKeepsNineDecimals) {
    const Complex original{-3.5, -120.25};
    Complex pair = original;
    convert_to_ri(pair, DataFormat::db);
    convert_from_ri(pair, DataFormat::db);
    EXPECT_NEAR(pair.re, original.re, 1e-12);
    EXPECT_NEAR(pair.im, original.im, 1e-11);
}

TEST(DataFormatConversion, AnythingButDecibelUsesMagnitudeRules) {
    Complex as_ma{20, 0};
    Complex as_other{20, 0};
    convert_to_ri(as_ma, DataFormat::ma);
    convert_to_ri(as_other, DataFormat::ri);
    EXPECT_EQ(bits(as_other.re), bits(as_ma.re));
    EXPECT_EQ(bits(as_other.re), bits(20.0));
}

TEST(DataFormatConversion, NanSpreadsWithoutTrapping) {
    Complex pair{std::numeric_limits<double>::quiet_NaN(), 1.0};
    convert_from_ri(pair, DataFormat::db);
    EXPECT_TRUE(std::isnan(pair.re));
    EXPECT_TRUE(std::isnan(pair.im));
}

}  // namespace
}  // namespace tavrin
