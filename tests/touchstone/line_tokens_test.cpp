#include "touchstone/line_tokens.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavrin {
namespace {

struct CleanCase {
    std::string raw;
    std::string cleaned;
};

class CleanLineTable : public ::testing::TestWithParam<CleanCase> {};

TEST_P(CleanLineTable, NormalisesInPlace) {
    std::string line = GetParam().raw;
    clean_line(line);
    EXPECT_EQ(line, GetParam().cleaned);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CleanLineTable,
    ::testing::Values(CleanCase{"\t1,5\t2,5 ! note", "1.5 2.5"}, CleanCase{"! only a comment", ""},
                      CleanCase{" \t \t ", ""}, CleanCase{"", ""}, CleanCase{"1,000", "1.000"},
                      CleanCase{"a  b", "a  b"}, CleanCase{"1!2,3\t4", "1"},
                      CleanCase{"  # GHz\tS RI R 50  ", "# GHz S RI R 50"},
                      CleanCase{"x\ty", "x y"}, CleanCase{"!", ""},
                      CleanCase{std::string("1\0002", 3), std::string("1\0002", 3)}));

TEST(PopNumber, WalksTheNumbersLeftToRight) {
    struct Case {
        std::string text;
        std::vector<double> values;
        std::string rest;
    };
    const std::vector<Case> cases = {
        {"1 2 3", {1, 2, 3, 0, 0}, ""},
        {"1    2", {1}, "2"},
        {"7", {7}, ""},
        {"1.5X 2", {1.5}, "2"},
        {"X 2", {0}, "2"},
        {"", {0, 0}, ""},
        {"-1e-3 &H10 1,5", {-0.001, 16, 1}, ""},
    };
    for (const Case& c : cases) {
        std::string_view text = c.text;
        for (std::size_t i = 0; i < c.values.size(); ++i) {
            EXPECT_EQ(pop_number(text), c.values[i]) << "'" << c.text << "' pop " << i;
        }
        EXPECT_EQ(text, c.rest) << "'" << c.text << "'";
    }
}

}  // namespace
}  // namespace tavrin
