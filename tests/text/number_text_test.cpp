#include "text/number_text.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <clocale>
#include <cstdlib>
#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <string>

namespace tavrin {
namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

struct ParseCase {
    std::string text;
    double value;
};

// Names the case by its text in test listings.
void PrintTo(const ParseCase& c, std::ostream* os) { *os << '\'' << c.text << '\''; }

class ParseNumberTable : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseNumberTable, ReadsTheLongestNumericPrefix) {
    const ParseCase& c = GetParam();
    const double got = parse_number(c.text);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(got), std::bit_cast<std::uint64_t>(c.value))
        << "text '" << c.text << "' gave " << got;
}

INSTANTIATE_TEST_SUITE_P(
    Decimal, ParseNumberTable,
    ::testing::Values(ParseCase{"50", 50}, ParseCase{"   75", 75}, ParseCase{"75ohm", 75},
                      ParseCase{"1.5e3", 1500}, ParseCase{"1.5D3", 1500}, ParseCase{"2d-1", 0.2},
                      ParseCase{"1e", 1}, ParseCase{"1e+", 1}, ParseCase{".5", 0.5},
                      ParseCase{"5.", 5}, ParseCase{"-.5", -0.5}, ParseCase{"+7", 7},
                      ParseCase{"- 5", 0}, ParseCase{"12.5.3", 12.5}, ParseCase{"1,5", 1},
                      ParseCase{"", 0}, ParseCase{"abc", 0}, ParseCase{".", 0},
                      ParseCase{"\t12", 12}, ParseCase{"   ", 0}, ParseCase{"0.1", 0.1},
                      ParseCase{"1e400", inf}, ParseCase{"-1e400", -inf},
                      ParseCase{"1e-400", 0.0}, ParseCase{"-1e-400", -0.0},
                      ParseCase{"4.9406564584124654e-324", 4.9406564584124654e-324},
                      ParseCase{"2.2250738585072011e-308", 2.2250738585072011e-308},
                      ParseCase{"0.000000000000000000000000000001e330", 1e300},
                      ParseCase{"1000000000000000000000000000000e-330", 1e-300},
                      ParseCase{"1E99999999999999999999", inf}, ParseCase{"7 8", 7},
                      // Correct rounding: the halfway case between two doubles goes to even.
                      ParseCase{"9007199254740993", 9007199254740992.0},
                      ParseCase{"1.0000000000000002220446049250313080847263336181640625", 1.0000000000000002}));

INSTANTIATE_TEST_SUITE_P(
    RadixAndWords, ParseNumberTable,
    ::testing::Values(ParseCase{"&H1F", 31}, ParseCase{"&hff", 255}, ParseCase{"&B101", 5},
                      ParseCase{"&O17", 15}, ParseCase{"&17", 15}, ParseCase{"&H", 0},
                      ParseCase{"&HFFFFFFFFFFFFFFFF", -1}, ParseCase{"&H1G", 1},
                      ParseCase{"&B102", 2}, ParseCase{"&18", 1},
                      ParseCase{"&H10000000000000001", 1},  // wraps modulo 2^64
                      ParseCase{"  &H1F", 31}, ParseCase{"\t&H1F", 0}, ParseCase{"&", 0},
                      ParseCase{"0x1A", 0}, ParseCase{"0X1A", 0}, ParseCase{"  0x1A", 0},
                      ParseCase{"+0x1A", 26}, ParseCase{"-0x1p4", -16}, ParseCase{"\t0x10", 16},
                      ParseCase{"-0xD", -14}, ParseCase{"+0x", 0}, ParseCase{"+0x1p-99999", 0},
                      ParseCase{"inf", inf}, ParseCase{"-Infinity", -inf}, ParseCase{"INFx", inf},
                      ParseCase{"in", 0}, ParseCase{"0", 0}));

TEST(ParseNumber, ReadsNanWordsAsNotANumberWithTheirSign) {
    EXPECT_TRUE(std::isnan(parse_number("nan")));
    EXPECT_FALSE(std::signbit(parse_number("NaN")));
    EXPECT_TRUE(std::isnan(parse_number("-nan")));
    EXPECT_TRUE(std::signbit(parse_number("-nan")));
}

// Selects a locale whose decimal separator is a comma, building one with localedef in a
// private folder when none is installed.
bool use_comma_locale() {
#ifdef _WIN32
    // Windows has its own locale names; German writes a decimal comma.
    return std::setlocale(LC_ALL, "German_Germany.1252") != nullptr ||
           std::setlocale(LC_ALL, "de-DE") != nullptr;
#else
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr) return true;
    const std::string folder = ::testing::TempDir() + "tavrin-locales";
    const std::string build = "mkdir -p '" + folder + "' && localedef -i de_DE -f UTF-8 '" +
                              folder + "/de_DE.UTF-8' >/dev/null 2>&1";
    if (std::system(build.c_str()) != 0) return false;
    ::setenv("LOCPATH", folder.c_str(), 1);
    return std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
#endif
}

TEST(ParseNumber, IgnoresTheNumericLocale) {
    if (!use_comma_locale()) GTEST_SKIP() << "no comma-decimal locale available";
    ASSERT_EQ(*std::localeconv()->decimal_point, ',');
    EXPECT_EQ(parse_number("1.5"), 1.5);
    EXPECT_EQ(parse_number("2.5e1"), 25.0);
    EXPECT_EQ(parse_number("1,5"), 1.0);
    EXPECT_EQ(canonical_number_text(12.5), "12.5");
    EXPECT_EQ(canonical_number_text(1e-5), "1e-005");
    std::setlocale(LC_ALL, "C");
}

struct CanonicalCase {
    double value;
    std::string text;
};

class CanonicalTable : public ::testing::TestWithParam<CanonicalCase> {};

TEST_P(CanonicalTable, WritesSixteenDigitsAtMost) {
    EXPECT_EQ(canonical_number_text(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Values, CanonicalTable,
    ::testing::Values(CanonicalCase{50, "50"}, CanonicalCase{75, "75"}, CanonicalCase{-50, "-50"},
                      CanonicalCase{0, "0"}, CanonicalCase{0.5, "0.5"}, CanonicalCase{12.5, "12.5"},
                      CanonicalCase{0.1, "0.1"}, CanonicalCase{1.0 / 3.0, "0.3333333333333333"},
                      CanonicalCase{0.0001, "0.0001"}, CanonicalCase{0.00001, "1e-005"},
                      CanonicalCase{100000, "100000"}, CanonicalCase{1e15, "1000000000000000"},
                      CanonicalCase{1e16, "1e+016"}, CanonicalCase{1e20, "1e+020"},
                      CanonicalCase{1234567890123456789.0, "1.234567890123457e+018"},
                      CanonicalCase{1e300, "1e+300"}, CanonicalCase{-2.5e-7, "-2.5e-007"},
                      CanonicalCase{123.456, "123.456"}, CanonicalCase{0.00012345, "0.00012345"},
                      // Rounding to 16 digits carries into a new leading digit and exponent.
                      CanonicalCase{9999999999999999.0, "1e+016"},
                      CanonicalCase{0.1 + 0.2, "0.3"}));

TEST(CanonicalNumberText, ReadsBackToTheSameDoubleWithinSixteenDigits) {
    for (double v : {50.0, 75.0, 12.5, 1e-5, 1234.5678, 3.0e-310, 1.5e308}) {
        const std::string text = canonical_number_text(v);
        EXPECT_LE(text.size(), 23u);
        EXPECT_NEAR(parse_number(text), v, std::abs(v) * 1e-15 + 5e-324) << text;
    }
}

}  // namespace
}  // namespace tavrin
