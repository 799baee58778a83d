#include "network/complex.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <string>

#include "network/float_bits.hpp"

namespace tavrin {
namespace {

using float_bits::bits;
using float_bits::ulps_apart;

constexpr double inf = std::numeric_limits<double>::infinity();

enum class Op { negate, add, subtract, multiply, divide };

Complex apply(Op op, const Complex& a, const Complex& b) {
    Complex result = a;
    switch (op) {
        case Op::negate:
            negate_complex(result);
            break;
        case Op::add:
            add_complex(result, b);
            break;
        case Op::subtract:
            subtract_complex(result, b);
            break;
        case Op::multiply:
            multiply_complex(result, a, b);
            break;
        case Op::divide:
            divide_complex(result, a, b);
            break;
    }
    return result;
}

struct ExactCase {
    const char* name;
    Op op;
    Complex a;
    Complex b;
    Complex expected;
};

// Name the case in failure messages instead of dumping its bytes.
void PrintTo(const ExactCase& c, std::ostream* os) {
    *os << c.name;
}

class ExactResult : public ::testing::TestWithParam<ExactCase> {};

TEST_P(ExactResult, MatchesBitForBit) {
    const ExactCase& c = GetParam();
    const Complex result = apply(c.op, c.a, c.b);
    EXPECT_EQ(bits(result.re), bits(c.expected.re)) << result.re << " vs " << c.expected.re;
    EXPECT_EQ(bits(result.im), bits(c.expected.im)) << result.im << " vs " << c.expected.im;
}

INSTANTIATE_TEST_SUITE_P(
    ComplexArithmetic, ExactResult,
    ::testing::Values(
        ExactCase{"negate_zero", Op::negate, {0.0, 0.0}, {}, {-0.0, -0.0}},
        ExactCase{"negate_negative_zero", Op::negate, {-0.0, -0.0}, {}, {0.0, 0.0}},
        ExactCase{"negate_values", Op::negate, {1.5, -2.25}, {}, {-1.5, 2.25}},
        ExactCase{"negate_infinity", Op::negate, {inf, -inf}, {}, {-inf, inf}},
        ExactCase{"add", Op::add, {1.0, 2.0}, {0.5, -3.0}, {1.5, -1.0}},
        ExactCase{"subtract", Op::subtract, {1.0, 2.0}, {0.5, 3.0}, {0.5, -1.0}},
        ExactCase{"subtract_to_positive_zero", Op::subtract, {1.0, -1.0}, {1.0, -1.0}, {0.0, 0.0}},
        ExactCase{"multiply", Op::multiply, {1.0, 2.0}, {3.0, 4.0}, {-5.0, 10.0}},
        ExactCase{"divide_by_i", Op::divide, {1.0, 0.0}, {0.0, 1.0}, {0.0, -1.0}},
        ExactCase{"divide", Op::divide, {-5.0, 10.0}, {3.0, 4.0}, {1.0, 2.0}},
        // 1e400 is fine as an intermediate and overflows only on being stored.
        ExactCase{
            "multiply_overflows_on_store", Op::multiply, {1e200, 0.0}, {1e200, 0.0}, {inf, 0.0}},
        ExactCase{
            "multiply_negative_overflow", Op::multiply, {-1e200, 0.0}, {1e200, 0.0}, {-inf, 0.0}},
        // 1 + (2^-53 + 2^-105): the 64-bit intermediate drops the 2^-105, leaving a tie that
        // rounds to even (1). A single rounding of the exact sum to double gives 1 + 2^-52.
        ExactCase{"add_rounds_twice_like_extended",
                  Op::add,
                  {1.0, 0.0},
                  {0x1.0000000000001p-53, 0.0},
                  {1.0, 0.0}}),
    [](const ::testing::TestParamInfo<ExactCase>& info) { return std::string(info.param.name); });

TEST(ComplexArithmetic, AddRoundingCaseReallyDiffersFromPlainDouble) {
    // Guards the table entry above: it only proves something if plain double disagrees.
    const double plain = 1.0 + 0x1.0000000000001p-53;
    EXPECT_EQ(bits(plain), bits(0x1.0000000000001p+0));
}

struct NanCase {
    const char* name;
    Complex a;
    Complex b;
};

// Name the case in failure messages instead of dumping its bytes.
void PrintTo(const NanCase& c, std::ostream* os) {
    *os << c.name;
}

class DivisionByZero : public ::testing::TestWithParam<NanCase> {};

TEST_P(DivisionByZero, GivesNanInBothComponents) {
    Complex result;
    divide_complex(result, GetParam().a, GetParam().b);
    EXPECT_TRUE(std::isnan(result.re));
    EXPECT_TRUE(std::isnan(result.im));
}

INSTANTIATE_TEST_SUITE_P(
    ComplexArithmetic, DivisionByZero,
    ::testing::Values(NanCase{"one_by_zero", {1.0, 0.0}, {0.0, 0.0}},
                      NanCase{"zero_by_zero", {0.0, 0.0}, {0.0, 0.0}},
                      NanCase{"complex_by_negative_zero", {3.0, -4.0}, {-0.0, -0.0}}),
    [](const ::testing::TestParamInfo<NanCase>& info) { return std::string(info.param.name); });

TEST(ComplexArithmetic, DivisorWhoseSquareLeavesTheDoubleRangeStillDivides) {
    // den = 1e400 exists only in the extended exponent range; in double it would be
    // infinity and the quotient 0.
    Complex result;
    divide_complex(result, {1.0, 0.0}, {1e200, 0.0});
    ASSERT_TRUE(std::isfinite(result.re));
    EXPECT_NE(result.re, 0.0);
    EXPECT_LE(ulps_apart(result.re, 1e-200), 1u) << result.re;
    EXPECT_EQ(bits(result.im), bits(0.0));

    const double plain_den = 1e200 * 1e200;
    EXPECT_EQ(1e200 / plain_den, 0.0);
}

TEST(ComplexArithmetic, TinyDivisorGivesLargeFiniteQuotient) {
    // den = 1e-400 would underflow to 0 in double and the quotient become infinite.
    Complex result;
    divide_complex(result, {1.0, 0.0}, {1e-200, 0.0});
    ASSERT_TRUE(std::isfinite(result.re));
    EXPECT_LE(ulps_apart(result.re, 1e200), 1u) << result.re;
    EXPECT_EQ(bits(result.im), bits(0.0));

    const double plain_den = 1e-200 * 1e-200;
    EXPECT_TRUE(std::isinf(1e-200 / plain_den));
}

TEST(ComplexArithmetic, MultiplyRoundsEachComponentOnceFromExtended) {
    const Complex a{0.295, 0.017};
    const Complex b{0.634, 0.290};
    Complex result;
    multiply_complex(result, a, b);

    const long double are = a.re, aim = a.im, bre = b.re, bim = b.im;
    const double expected_re = static_cast<double>(are * bre - aim * bim);
    const double expected_im = static_cast<double>(are * bim + aim * bre);
    EXPECT_EQ(bits(result.re), bits(expected_re));
    EXPECT_EQ(bits(result.im), bits(expected_im));

    // Plain double evaluation rounds every product and lands one unit away in both parts,
    // which is why the intermediates must be long double.
    const double plain_re = a.re * b.re - a.im * b.im;
    const double plain_im = a.re * b.im + a.im * b.re;
    EXPECT_NE(bits(result.re), bits(plain_re));
    EXPECT_NE(bits(result.im), bits(plain_im));
}

TEST(ComplexArithmetic, DivideRoundsEachComponentOnceFromExtended) {
    const Complex a{-0.485, 0.436};
    const Complex b{0.511, 0.192};
    Complex result;
    divide_complex(result, a, b);

    const long double are = a.re, aim = a.im, bre = b.re, bim = b.im;
    const long double den = bre * bre + bim * bim;
    const double expected_re = static_cast<double>((are * bre + aim * bim) / den);
    const double expected_im = static_cast<double>((aim * bre - are * bim) / den);
    EXPECT_EQ(bits(result.re), bits(expected_re));
    EXPECT_EQ(bits(result.im), bits(expected_im));

    const double plain_den = b.re * b.re + b.im * b.im;
    const double plain_re = (a.re * b.re + a.im * b.im) / plain_den;
    const double plain_im = (a.im * b.re - a.re * b.im) / plain_den;
    EXPECT_NE(bits(result.re), bits(plain_re));
    EXPECT_NE(bits(result.im), bits(plain_im));
}

TEST(ComplexArithmetic, MultiplyIgnoresOperandOrder) {
    const Complex a{0.372, -0.110};
    const Complex b{0.306, -0.770};
    Complex ab;
    Complex ba;
    multiply_complex(ab, a, b);
    multiply_complex(ba, b, a);
    EXPECT_EQ(bits(ab.re), bits(ba.re));
    EXPECT_EQ(bits(ab.im), bits(ba.im));
}

}  // namespace
}  // namespace tavrin
