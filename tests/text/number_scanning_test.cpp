// The scanning form of parse_number used by pop_number: the same value as parse_number, and a
// count of leading characters that holds no blank.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <ostream>
#include <string>

#include "text/number_text.hpp"

namespace tavrin {
namespace {

struct ScanCase {
    std::string text;
    double value;
    std::size_t number_length;  // where the number ends, for tokens read directly; 0 otherwise
};

void PrintTo(const ScanCase& c, std::ostream* os) { *os << '\'' << c.text << '\''; }

class ScanningParse : public ::testing::TestWithParam<ScanCase> {};

TEST_P(ScanningParse, GivesTheSameValueAndNoBlankBeforeTheScannedCount) {
    const ScanCase& c = GetParam();
    std::size_t scanned = 12345;
    const double got = parse_number(c.text, scanned);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(got), std::bit_cast<std::uint64_t>(c.value))
        << "gave " << got;
    EXPECT_EQ(std::bit_cast<std::uint64_t>(got), std::bit_cast<std::uint64_t>(parse_number(c.text)));
    ASSERT_LE(scanned, c.text.size());
    EXPECT_EQ(c.text.substr(0, scanned).find(' '), std::string::npos);
    if (c.number_length != 0) {
        EXPECT_EQ(scanned, c.number_length);
    }
}

INSTANTIATE_TEST_SUITE_P(
    DataTokens, ScanningParse,
    ::testing::Values(ScanCase{"0.0150185611913 -0.2", 0.0150185611913, 15},
                      ScanCase{"-0.00210387049391 1", -0.00210387049391, 17},
                      ScanCase{"3.136666028", 3.136666028, 11},
                      ScanCase{"-179.123456789 0", -179.123456789, 14},
                      ScanCase{"+7 8", 7, 2}, ScanCase{"-.5 1", -0.5, 3}, ScanCase{"5. 1", 5, 2},
                      ScanCase{"1.5e3 x", 1500, 5}, ScanCase{"2d-1 x", 0.2, 4},
                      ScanCase{"1e x", 1, 1}, ScanCase{"1e+ x", 1, 1},
                      ScanCase{"1234567890123456 1", 1234567890123456.0, 16},
                      ScanCase{"0.12345678 9", 0.12345678, 10},
                      ScanCase{"98765432.1234 5", 98765432.1234, 13},
                      ScanCase{"-0.0 1", -0.0, 4}, ScanCase{"1.5X 2", 1.5, 3}));

// Forms read by the general conversion: the count may be 0, the value is parse_number's.
INSTANTIATE_TEST_SUITE_P(
    OtherForms, ScanningParse,
    ::testing::Values(ScanCase{"   75 1", 75, 0}, ScanCase{"&H1F 1", 31, 0},
                      ScanCase{"0x1A 1", 0, 0}, ScanCase{"-0x1p4 1", -16, 0},
                      ScanCase{"inf 1", std::numeric_limits<double>::infinity(), 0},
                      ScanCase{"1e400 1", std::numeric_limits<double>::infinity(), 0},
                      ScanCase{"1e-400 1", 0.0, 0}, ScanCase{"", 0, 0}, ScanCase{". 1", 0, 0},
                      ScanCase{"- 5", 0, 0},
                      ScanCase{"9007199254740993 1", 9007199254740992.0, 0},
                      ScanCase{"12345678901234567 1", 12345678901234567.0, 0},
                      ScanCase{"12345678901234567890123 1", 12345678901234567890123.0, 0},
                      ScanCase{"1e23 1", 1e23, 0}));

}  // namespace
}  // namespace tavrin
