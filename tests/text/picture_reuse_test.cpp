// One picture state over many lines, as the output writer uses it: the same pictures started
// again and again, switched between, and values of every layout mixed, while the output
// buffer fills and is written out many times. Expected texts are the documented examples.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "e2e_support.hpp"
#include "support/file_slots.hpp"
#include "text/picture.hpp"

namespace tavrin {
namespace {

constexpr std::string_view ri_picture = " ##.#########";
constexpr std::string_view pair_picture = " ##.######### ####.#########";
constexpr std::uint32_t last_item = item_end_line | item_last;

struct Line {
    std::string_view picture;
    std::vector<double> values;  // the last one ends the line
    std::string text;
    PictureMarks marks = PictureMarks::general;
};

// Writes each line through one PictureState, `rounds` times over, and checks the bytes.
void expect_lines(const std::vector<Line>& lines, int rounds) {
    test::ScratchDir dir;
    const std::string path = dir.file("out.s2p");
    std::string expected;
    {
        OutputSlot out;
        ASSERT_TRUE(out.open(path));
        PictureState state;
        for (int round = 0; round < rounds; ++round) {
            for (const Line& line : lines) {
                state.start_picture(line.picture, line.marks);
                for (std::size_t i = 0; i + 1 < line.values.size(); ++i) {
                    state.write_picture_number(out, line.values[i], 0);
                }
                state.write_picture_number(out, line.values.back(), last_item);
                state.end_picture(out);
                expected += line.text;
            }
        }
        ASSERT_TRUE(out.close());
    }
    std::ifstream in(path, std::ios::binary);
    const std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected);
}

const Line ri_example = {
    ri_picture,
    {0.1, -0.2, 0.3, -0.4, 0.5, -0.6, 0.7, -0.8},
    "  0.100000000 -0.200000000  0.300000000 -0.400000000  0.500000000 -0.600000000  "
    "0.700000000 -0.800000000\r\n"};

const Line pair_example = {
    pair_picture,
    {0.998123456789, -12.5, 0.0012, 179.9999999999, 1.5, -0.25, 0.5, 45},
    "  0.998123457  -12.500000000  0.001200000  180.000000000  1.500000000   -0.250000000  "
    "0.500000000   45.000000000\r\n"};

TEST(PictureReuse, SamePictureLineAfterLine) {
    expect_lines({ri_example}, 6000);
    expect_lines({pair_example}, 6000);
}

TEST(PictureReuse, PicturesTakenInTurn) { expect_lines({ri_example, pair_example}, 4000); }

TEST(PictureReuse, EveryLayoutOnTheSameLines) {
    const double inf = std::numeric_limits<double>::infinity();
    // Items of the documented tables: fixed, overflow mark, exponent form, special texts.
    const Line ri_mixed = {ri_picture,
                           {-12.3456789012, 123456.7, 0.5, inf, -9.9999999995, 99.9999999994},
                           " %-12.345678901 % 1.234567000E+5  0.500000000  1.#INF00000"
                           " %-10.000000000 99.999999999\r\n"};
    const Line pair_mixed = {pair_picture,
                             {-0.5, -999.9999999995, 12.3456789012, 10000000.0, -0.0, -inf},
                             " -0.500000000 %-1000.000000000 12.345678901 % 100.000000000E+5"
                             " -0.000000000   -1.#INF00000\r\n"};
    expect_lines({ri_mixed, pair_mixed, ri_example}, 3000);
}

TEST(PictureReuse, TheSamePictureTakesTheMarksItIsStartedWith) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<double> values = {-12.3456789012, 123456.7, 0.5, inf, -9.9999999995, -inf};
    const Line general = {ri_picture, values,
                          " %-12.345678901 % 1.234567000E+5  0.500000000  1.#INF00000"
                          " %-10.000000000 -1.#INF00000\r\n"};
    const Line data_line = {ri_picture, values,
                            " -12.345678901  1.234567000E+5  0.500000000          inf"
                            " -10.000000000         -inf\r\n",
                            PictureMarks::data_line};
    expect_lines({general, data_line, data_line, general}, 2000);
}

TEST(PictureReuse, ADifferentPictureOfTheSameLengthIsReadAfresh) {
    const Line one_decimal = {"[##.#]", {1.25, 2.5}, "[ 1.3][ 2.5]\r\n"};
    const Line two_decimals = {"[#.##]", {1.25, 2.5}, "[1.25][2.50]\r\n"};
    const Line other_marks = {"<##.#>", {1.25, 2.5}, "< 1.3>< 2.5>\r\n"};
    expect_lines({one_decimal, two_decimals, other_marks, one_decimal}, 100);
}

}  // namespace
}  // namespace tavrin
