#include "network/renormalise.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <random>

#include "network/float_bits.hpp"

namespace tavrin {
namespace {

using float_bits::bits;
using float_bits::same_up_to_zero_sign;

void expect_same(const Complex& actual, const Complex& expected) {
    EXPECT_TRUE(same_up_to_zero_sign(actual.re, expected.re)) << actual.re << " vs " << expected.re;
    EXPECT_TRUE(same_up_to_zero_sign(actual.im, expected.im)) << actual.im << " vs " << expected.im;
}

TEST(RenormalisationGamma, FiftyToSeventyFiveIsMinusOneFifth) {
    const Complex gamma = renormalisation_gamma(50.0, 75.0);
    EXPECT_EQ(bits(gamma.re), bits(-0.2));
    EXPECT_EQ(bits(gamma.im), bits(0.0));
}

TEST(RenormalisationGamma, SameImpedanceGivesZero) {
    const Complex gamma = renormalisation_gamma(50.0, 50.0);
    EXPECT_EQ(bits(gamma.re), bits(0.0));
    EXPECT_EQ(bits(gamma.im), bits(0.0));
}

TEST(RenormalisationGamma, SumAndDifferenceKeepExtendedPrecision) {
    // (2^53 - 1) / (2^53 + 1) = 1 - 2^-52 + tiny. In double the sum 2^53 + 1 rounds to 2^53
    // and the quotient becomes 1 - 2^-53 instead.
    const double z_old = 0x1p53;
    const Complex gamma = renormalisation_gamma(z_old, 1.0);
    EXPECT_EQ(bits(gamma.re), bits(1.0 - 0x1p-52));
    EXPECT_EQ(bits((z_old - 1.0) / (z_old + 1.0)), bits(1.0 - 0x1p-53));
}

TEST(RenormalisationGamma, OppositeImpedancesGiveNonFiniteGamma) {
    const Complex gamma = renormalisation_gamma(-75.0, 75.0);
    EXPECT_FALSE(std::isfinite(gamma.re));
}

TEST(Renormalise, ZeroGammaReturnsTheInputs) {
    const TwoPort s{{0.1, -0.2}, {-0.75, 0.3}, {1e-3, 2.5}, {-0.0, 0.6}};
    TwoPort result;
    renormalise(s, renormalisation_gamma(50.0, 50.0), result);
    expect_same(result.s11, s.s11);
    expect_same(result.s21, s.s21);
    expect_same(result.s12, s.s12);
    expect_same(result.s22, s.s22);
}

TEST(Renormalise, AllZeroRecordBecomesGammaOnTheDiagonal) {
    const TwoPort s{};
    TwoPort result;
    renormalise(s, renormalisation_gamma(50.0, 75.0), result);
    expect_same(result.s11, {-0.2, 0.0});
    expect_same(result.s21, {0.0, 0.0});
    expect_same(result.s12, {0.0, 0.0});
    expect_same(result.s22, {-0.2, 0.0});
}

TEST(Renormalise, SingularRecordGivesNanEverywhere) {
    // 1 + 5 * (-0.2) = 0 on both diagonal terms, so the determinant is (0, 0).
    const TwoPort s{{5.0, 0.0}, {0.0, 0.0}, {0.0, 0.0}, {5.0, 0.0}};
    TwoPort result;
    renormalise(s, renormalisation_gamma(50.0, 75.0), result);
    for (const Complex& z : {result.s11, result.s21, result.s12, result.s22}) {
        EXPECT_TRUE(std::isnan(z.re));
        EXPECT_TRUE(std::isnan(z.im));
    }
}

TEST(Renormalise, WorkedExampleToNineDecimals) {
    const TwoPort s{{0.1, 0.2}, {0.9, -0.1}, {0.05, 0.0}, {0.3, -0.4}};
    TwoPort result;
    renormalise(s, renormalisation_gamma(50.0, 75.0), result);
    constexpr double tolerance = 5e-10;
    EXPECT_NEAR(result.s11.re, -0.100652412, tolerance);
    EXPECT_NEAR(result.s11.im, 0.198489864, tolerance);
    EXPECT_NEAR(result.s21.re, 0.930023055, tolerance);
    EXPECT_NEAR(result.s21.im, -0.145383639, tolerance);
    EXPECT_NEAR(result.s12.re, 0.051924336, tolerance);
    EXPECT_NEAR(result.s12.im, -0.002307498, tolerance);
    EXPECT_NEAR(result.s22.re, 0.079354955, tolerance);
    EXPECT_NEAR(result.s22.im, -0.433832163, tolerance);
}

TEST(Renormalise, ResultMayBeWrittenOverTheInput) {
    const TwoPort original{{0.1, 0.2}, {0.9, -0.1}, {0.05, 0.0}, {0.3, -0.4}};
    const Complex gamma = renormalisation_gamma(50.0, 75.0);
    TwoPort separate;
    renormalise(original, gamma, separate);
    TwoPort in_place = original;
    renormalise(in_place, gamma, in_place);
    for (const auto member : {&TwoPort::s11, &TwoPort::s21, &TwoPort::s12, &TwoPort::s22}) {
        EXPECT_EQ(bits((in_place.*member).re), bits((separate.*member).re));
        EXPECT_EQ(bits((in_place.*member).im), bits((separate.*member).im));
    }
}

// The closed forms, evaluated independently with std::complex<long double>.
using Cx = std::complex<long double>;

Cx to_cx(const Complex& z) {
    return {z.re, z.im};
}

void expect_close(const Complex& actual, const Cx& expected) {
    const long double scale = std::max(1.0L, std::abs(expected));
    EXPECT_LE(std::abs(to_cx(actual) - expected), 1e-12L * scale)
        << "(" << actual.re << ", " << actual.im << ") vs (" << static_cast<double>(expected.real())
        << ", " << static_cast<double>(expected.imag()) << ")";
}

TEST(Renormalise, AgreesWithClosedFormsOnWellConditionedRecords) {
    std::mt19937_64 generator(20240611);
    std::uniform_real_distribution<double> part(-0.7, 0.7);
    std::uniform_real_distribution<double> impedance(5.0, 500.0);
    int checked = 0;
    while (checked < 500) {
        const TwoPort s{{part(generator), part(generator)},
                        {part(generator), part(generator)},
                        {part(generator), part(generator)},
                        {part(generator), part(generator)}};
        const double z_old = impedance(generator);
        const double z_new = impedance(generator);
        const Complex gamma = renormalisation_gamma(z_old, z_new);

        const Cx g = gamma.re;
        const Cx s11 = to_cx(s.s11), s21 = to_cx(s.s21), s12 = to_cx(s.s12), s22 = to_cx(s.s22);
        const Cx d = (1.0L + g * s11) * (1.0L + g * s22) - g * g * s12 * s21;
        if (std::abs(d) < 0.2L) continue;  // keep the comparison well conditioned
        ++checked;

        TwoPort result;
        renormalise(s, gamma, result);
        expect_close(result.s11, ((s11 + g) * (1.0L + g * s22) - g * s12 * s21) / d);
        expect_close(result.s21, s21 * (1.0L - g * g) / d);
        expect_close(result.s12, s12 * (1.0L - g * g) / d);
        expect_close(result.s22, ((s22 + g) * (1.0L + g * s11) - g * s12 * s21) / d);
    }
}

}  // namespace
}  // namespace tavrin
