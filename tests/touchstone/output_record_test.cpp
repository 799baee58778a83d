#include "touchstone/output_record.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "e2e_support.hpp"

namespace tavrin {
namespace {

// Writes the records through one picture state into a real file and gives back its bytes.
std::string written(std::initializer_list<std::pair<std::string, TwoPort>> records,
                    DataFormat format) {
    test::ScratchDir dir;
    {
        OutputSlot out;
        EXPECT_TRUE(out.open(dir.file("out.s2p")));
        PictureState pictures;
        for (const auto& [frequency, results] : records) {
            write_data_record(out, pictures, frequency, format_descriptor(format), results);
        }
        EXPECT_TRUE(out.close());
    }
    return dir.read("out.s2p");
}

TEST(WriteDataRecord, LaysOutTheWorkedLines) {
    const TwoPort ri{{0.5, -0.25}, {0.9, 0.1}, {0.1, 0}, {-0.3, 0.05}};
    EXPECT_EQ(written({{"1.0E9", ri}}, DataFormat::ri),
              "1.0E9  0.500000000 -0.250000000  0.900000000  0.100000000  0.100000000  "
              "0.000000000 -0.300000000  0.050000000\r\n");

    const TwoPort db{{-5.25, 45}, {-0.5, -90.25}, {-9.75, 10}, {-1.125, 170}};
    EXPECT_EQ(written({{"2.5E9", db}}, DataFormat::db),
              "2.5E9 -5.250000000   45.000000000 -0.500000000  -90.250000000 -9.750000000   "
              "10.000000000 -1.125000000  170.000000000\r\n");
}

TEST(WriteDataRecord, StartsEveryLineAfreshAndKeepsTheFrequencyTokenAsIs) {
    const TwoPort ma{{0.5, -180}, {1, 0}, {0.25, 90}, {0.125, -45.5}};
    const std::string pair_line =
        "  0.500000000 -180.000000000  1.000000000    0.000000000  0.250000000   90.000000000"
        "  0.125000000  -45.500000000\r\n";
    // An empty token leaves the picture's leading blank first on the line.
    EXPECT_EQ(written({{"", ma}, {"2,5", ma}}, DataFormat::ma), pair_line + "2,5" + pair_line);
}

TEST(WriteDataRecord, WritesNonFiniteResultsAsWordsInTheirFields) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const TwoPort db{{-inf, 0}, {inf, -0.0}, {nan, -nan}, {0, inf}};
    EXPECT_EQ(written({{"1", db}}, DataFormat::db),
              "1         -inf    0.000000000          inf   -0.000000000          nan"
              "            nan  0.000000000            inf\r\n");
    const TwoPort ri{{-inf, nan}, {0, 0}, {0, 0}, {0, 0}};
    EXPECT_EQ(written({{"2", ri}}, DataFormat::ri),
              "2         -inf          nan  0.000000000  0.000000000  0.000000000  0.000000000"
              "  0.000000000  0.000000000\r\n");
}

TEST(WriteDataRecord, WritesWideNumbersWithoutAnyMark) {
    // Return loss and isolation below -10 dB, a gain above 10 dB, and a huge real part.
    const TwoPort db{{-32.15, 45}, {10.5, -1234.5}, {-40.25, 10}, {-9.5, 170}};
    EXPECT_EQ(written({{"3", db}}, DataFormat::db),
              "3 -32.150000000   45.000000000 10.500000000 -1234.500000000 -40.250000000   "
              "10.000000000 -9.500000000  170.000000000\r\n");
    const TwoPort ri{{123456.7, 1e16}, {0, 0}, {0, 0}, {0, 0}};
    EXPECT_EQ(written({{"4", ri}}, DataFormat::ri),
              "4  1.234567000E+5  1.000000000E+16  0.000000000  0.000000000  0.000000000  "
              "0.000000000  0.000000000  0.000000000\r\n");
}

}  // namespace
}  // namespace tavrin
