// End-to-end: whole conversions, compared byte for byte where the expected bytes follow
// from the rules by hand, and against the closed-form renormalisation otherwise.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <sstream>
#include <string>
#include <vector>

#include "run/conversion_support.hpp"

namespace tavrin {
namespace {

using test::Conversion;
using test::convert;
using test::crlf_lines;
using test::numbers_of;
using test::output_lines;
using Cx = std::complex<long double>;

// S' = (S + gI)(I + gS)^-1 in closed form, for a real gamma.
std::vector<Cx> closed_form(Cx s11, Cx s21, Cx s12, Cx s22, long double z_old, long double z_new) {
    const Cx g = (z_old - z_new) / (z_old + z_new);
    const Cx d = (1.0L + g * s11) * (1.0L + g * s22) - g * g * s12 * s21;
    return {((s11 + g) * (1.0L + g * s22) - g * s12 * s21) / d, s21 * (1.0L - g * g) / d,
            s12 * (1.0L - g * g) / d, ((s22 + g) * (1.0L + g * s11) - g * s12 * s21) / d};
}

const long double pi = 3.141592653589793238462643383279502884L;

Cx from_pair(long double first, long double angle, bool db) {
    const long double magnitude = db ? std::pow(10.0L, first / 20.0L) : first;
    return std::polar(magnitude, angle * pi / 180.0L);
}

TEST(CompleteRun, RealImaginaryAt75OhmsGivesExactlyTheseBytes) {
    const Conversion run = convert("! measured\n# GHz S RI R 50\n1.0E9 0.1 0.2 0.9 -0.1 0.05 0 0.3 -0.4\n",
                            "", "75");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output,
              crlf_lines({"# GHZ S RI R 75",
                          "1.0E9 -0.100652412  0.198489864  0.930023055 -0.145383639  0.051924336 "
                          "-0.002307498  0.079354955 -0.433832163"}));
}

TEST(CompleteRun, MagnitudeAngleAt25OhmsGivesExactlyTheseBytes) {
    const Conversion run = convert("# MHz S MA R 50\n2500 0.5 45 0.9 -30 0.05 10 0.4 -60\n", "", "25");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output,
              crlf_lines({"# MHZ S MA R 25",
                          "2500  0.680606151   21.826962555  0.665953264  -29.920808589  "
                          "0.036997404   10.079191411  0.582677157  -27.056380833"}));
}

TEST(CompleteRun, SameImpedanceGivesTheInputBackInEveryFormat) {
    // gamma = 0: the network is unchanged, and the numbers come back rounded to 9 decimals.
    struct Case {
        std::string input;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"# GHZ S DB R 50\n1 -5.25 45 -0.5 -90.25 -9.75 10 -1.125 170\n",
         {"# GHZ S DB R 50", "1 -5.250000000   45.000000000 -0.500000000  -90.250000000 "
                             "-9.750000000   10.000000000 -1.125000000  170.000000000"}},
        {"# GHZ S MA R 50\n2 0.5 -45.5 0.25 135 0.125 -179.5 0.0625 12.345678901\n",
         {"# GHZ S MA R 50", "2  0.500000000  -45.500000000  0.250000000  135.000000000  "
                             "0.125000000 -179.500000000  0.062500000   12.345678901"}},
        // Only S11 and S21 given: S12 := S21 and S22 := S11.
        {"# GHZ S RI R 50\n1 0.5 0 0.1 0.2\n",
         {"# GHZ S RI R 50", "1  0.500000000  0.000000000  0.100000000  0.200000000  0.100000000 "
                             " 0.200000000  0.500000000  0.000000000"}},
        // Written zeros are data: a real-valued network, and a unilateral one with S12 short.
        {"# GHZ S RI R 50\n1 0.5 0 0.1 0.2 0.3 0 0.4 0\n",
         {"# GHZ S RI R 50", "1  0.500000000  0.000000000  0.100000000  0.200000000  0.300000000 "
                             " 0.000000000  0.400000000  0.000000000"}},
    };
    for (const Case& c : cases) {
        const Conversion run = convert(c.input, "", "50");
        EXPECT_EQ(run.status, 0) << c.input;
        EXPECT_EQ(run.output, crlf_lines(c.expected)) << c.input;
    }
}

TEST(CompleteRun, DecibelDataMatchesTheClosedForm) {
    const std::vector<std::vector<long double>> rows = {
        {0.5, -32.15, -12.4, -10.02, -21.5, -10.02, -21.5, -31.87, -11.9},
        {1.0, -3.54, -125.1, -1.03, 43.1, -1.03, 43.1, -6.21, -24.6},
        {2.0, -0.12, 150.8, -20.05, -86.4, -20.05, -86.4, -0.95, -49.7},
    };
    std::string input = "! attenuator\n# GHZ S DB R 50\n";
    for (const auto& row : rows) {
        std::ostringstream line;
        for (long double v : row) line << static_cast<double>(v) << ' ';
        input += line.str() + "\n";
    }
    const Conversion run = convert(input, "", "75");
    ASSERT_EQ(run.status, 0);
    const auto lines = output_lines(run.output);
    ASSERT_EQ(lines.size(), rows.size() + 1);
    EXPECT_EQ(lines[0], "# GHZ S DB R 75");
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& r = rows[i];
        const auto s = closed_form(from_pair(r[1], r[2], true), from_pair(r[3], r[4], true),
                                   from_pair(r[5], r[6], true), from_pair(r[7], r[8], true), 50, 75);
        const auto got = numbers_of(lines[i + 1]);
        ASSERT_EQ(got.size(), 9u) << lines[i + 1];
        EXPECT_EQ(got[0], r[0]);
        for (int p = 0; p < 4; ++p) {
            EXPECT_NEAR(got[1 + 2 * p], 20.0L * std::log10(std::abs(s[p])), 2e-9L) << lines[i + 1];
            EXPECT_NEAR(got[2 + 2 * p], std::arg(s[p]) * 180.0L / pi, 2e-9L) << lines[i + 1];
        }
        // Values of -10 dB or less need three places before the point: each widens the line
        // by one character, with no mark.
        int wide = 0;
        for (int p = 0; p < 4; ++p) wide += 20.0L * std::log10(std::abs(s[p])) <= -10.0L;
        const std::size_t token = lines[i + 1].find(' ');
        EXPECT_EQ(lines[i + 1].size(), token + 4 * 28 + static_cast<std::size_t>(wide))
            << lines[i + 1];
        EXPECT_EQ(lines[i + 1].find('%'), std::string::npos) << lines[i + 1];
    }
}

TEST(CompleteRun, TwoFileRunPairsRecordsByFrequencyOrRefuses) {
    const std::string forward =
        "# GHZ S RI R 50\n1 0.1 0.2 0.9 -0.1\n2 0.2 0.1 0.8 -0.2\n3 0.3 0 0.7 -0.3\n";
    // The same frequencies in another notation pair up; the first line is the worked example.
    const Conversion paired = convert(
        forward, "# GHZ S RI R 50\n1.0 0.3 -0.4 0.05 0\n2e0 0.3 -0.4 0.05 0\n3 0.3 -0.4 0.05 0\n",
        "75");
    ASSERT_EQ(paired.status, 0);
    const auto lines = output_lines(paired.output);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1],
              "1.0 -0.100652412  0.198489864  0.930023055 -0.145383639  0.051924336 -0.002307498  "
              "0.079354955 -0.433832163");
    EXPECT_EQ(lines[2].substr(0, 4), "2e0 ");

    // Reverse data that ends early, skips a frequency or holds another one would put S22 and
    // S12 on the wrong frequency: status 1 and no output lines, not even those already written.
    for (const std::string reverse :
         {"# GHZ S RI R 50\n1 0.3 -0.4 0.05 0\n",
          "# GHZ S RI R 50\n1 0.3 -0.4 0.05 0\n3 0.3 -0.4 0.05 0\n",
          "# GHZ S RI R 50\n1 0.3 -0.4 0.05 0\n2.5 0.3 -0.4 0.05 0\n3 0.3 -0.4 0.05 0\n"}) {
        const Conversion run = convert(forward, reverse, "75");
        EXPECT_EQ(run.status, 1) << reverse;
        EXPECT_EQ(run.output, "") << reverse;
    }
}

// Records of two frequencies, each as its eight numbers.
struct Record {
    std::string frequency;
    std::string numbers[8];
};

// One line per record, or two as some exporters write them: the frequency with the first four
// numbers, then the last four on a line of their own, with what comes between the two.
std::string records_text(const std::vector<Record>& records, const std::string& between = {}) {
    std::string text;
    for (const Record& r : records) {
        text += r.frequency;
        for (int k = 0; k < 8; ++k) {
            if (k == 4 && !between.empty()) text += "\n" + between;
            text += " " + r.numbers[k];
        }
        text += "\n";
    }
    return text;
}

TEST(CompleteRun, RecordsSplitOverTwoLinesGiveTheBytesOfOneLineEach) {
    const std::vector<Record> records = {
        {"1.0", {"0.1", "0.2", "0.9", "-0.1", "0.05", "0", "0.3", "-0.4"}},
        {"2.0", {"0.2", "-30", "0.8", "45", "0.04", "170", "0.35", "-120"}},
    };
    // A forward file's S11 S21, then S12 S22; a reverse file's S22 S12, then S21 S11.
    std::vector<Record> reverse = records;
    for (Record& r : reverse) {
        std::rotate(r.numbers, r.numbers + 4, r.numbers + 8);
        std::swap(r.numbers[0], r.numbers[2]);
        std::swap(r.numbers[1], r.numbers[3]);
    }
    const std::string noise = "1.0 0.5 0.3 20 0.2\n2.0 0.6 0.25 40 0.18\n";
    for (const char* format : {"RI", "MA", "DB"}) {
        const std::string option = std::string("# GHz S ") + format + " R 50\n";
        for (const std::string between : {"", " ", "! S12 S22 follow\n\n\t"}) {
            const std::string label = std::string(format) + " with '" + between + "' between";
            const std::string single_one = option + records_text(records) + noise;
            const Conversion one_line = convert(single_one, "", "75");
            ASSERT_EQ(one_line.status, 0) << label;
            ASSERT_EQ(output_lines(one_line.output).size(), 5u) << label;  // the noise kept
            EXPECT_EQ(convert(option + records_text(records, between) + noise, "", "75").output,
                      one_line.output)
                << label;
            const Conversion pair =
                convert(option + records_text(records), option + records_text(reverse), "75");
            ASSERT_EQ(pair.status, 0) << label;
            EXPECT_EQ(convert(option + records_text(records, between),
                              option + records_text(reverse, between), "75")
                          .output,
                      pair.output)
                << label;
        }
    }
    // A line of S11 and S21 before a line with a frequency stands alone: a symmetrical device.
    EXPECT_EQ(convert("# GHz S RI R 50\n1 0.1 0.2 0.9 -0.1\n2 0.2 0.1 0.8 0 0.8 0 0.2 0.1\n", "",
                      "75")
                  .output,
              convert("# GHz S RI R 50\n1 0.1 0.2 0.9 -0.1 0.9 -0.1 0.1 0.2\n"
                      "2 0.2 0.1 0.8 0 0.8 0 0.2 0.1\n",
                      "", "75")
                  .output);
}

TEST(CompleteRun, ReadsTouchstoneTwoFilesAsTheyMeanIt) {
    // [Reference] 75 with z_new 75: gamma = 0, so the numbers pass through, and the 12_21
    // order (S11 S12 S21 S22 on the line) comes out in S11 S21 S12 S22 order.
    const std::string file =
        "[Version] 2.0\n# GHz S RI R 50\n[Number of Ports] 2\n[Two-Port Data Order] 12_21\n"
        "[Number of Frequencies] 2\n[Reference]\n75 75\n[Network Data]\n"
        "0 0.5 0 0.01 0 3 0 0.25 0\n1 0.5 0.1 0.01 0.02 3 0.3 0.25 0.4\n[End]\n";
    const Conversion run = convert(file, "", "75");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output,
              crlf_lines({"# GHZ S RI R 75",
                          "0  0.500000000  0.000000000  3.000000000  0.000000000  0.010000000 "
                          " 0.000000000  0.250000000  0.000000000",
                          "1  0.500000000  0.100000000  3.000000000  0.300000000  0.010000000 "
                          " 0.020000000  0.250000000  0.400000000"}));
}

TEST(CompleteRun, RefusesDataItCannotRenormaliseHonestly) {
    const std::string data = "1 0.1 0.2 0.9 -0.1 0.05 0 0.3 -0.4\n";
    struct Case {
        const char* name;
        std::string forward;
        std::string reverse;
    };
    const std::vector<Case> cases = {
        {"impedance parameters", "# GHZ Z RI R 50\n" + data, ""},
        {"admittance parameters", "# ghz y ma\n" + data, ""},
        {"a forward file of hybrid parameters", "# GHZ H RI R 50\n" + data, "# GHZ S RI R 50\n" + data},
        {"three references after R", "# GHZ S RI R 50 75 100\n" + data, ""},
        {"a port's reference of 0", "# GHZ S RI R 50 0\n" + data, ""},
        {"data not renormalized, no reference stated",
         "! Data is not renormalized\n# GHZ S RI\n" + data, ""},
        {"forward and reverse for different references", "# GHZ S RI R 50\n" + data,
         "# GHZ S RI R 75\n" + data},
        {"a reference per port in two-file mode", "# GHZ S RI R 50 75\n" + data,
         "# GHZ S RI R 50\n" + data},
        {"three ports", "# GHZ S RI\n[Number of Ports] 3\n" + data, ""},
        {"a reverse file with a lower matrix", "# GHZ S RI\n" + data,
         "# GHZ S RI\n[Matrix Format] Lower\n" + data},
        {"mixed-mode data", "# GHZ S RI\n[Mixed-Mode Order] D2,1 C2,1\n" + data, ""},
        {"a reference of 0", "# GHZ S RI R 50\n[Reference] 0\n" + data, ""},
    };
    for (const Case& c : cases) {
        const Conversion run = convert(c.forward, c.reverse, "75");
        EXPECT_EQ(run.status, 1) << c.name;
        EXPECT_EQ(run.output, "") << c.name;
    }
}

TEST(CompleteRun, TheDataEndsWhereTheFrequencyDrops) {
    const Conversion sweeps = convert(
        "# HZ S RI R 50\n100 0.1 0 0.2 0 0.2 0 0.1 0\n200 0.1 0 0.2 0 0.2 0 0.1 0\n"
        "! a second sweep\n100 0.1 0 0.2 0 0.2 0 0.1 0\n200 0.1 0 0.2 0 0.2 0 0.1 0\n",
        "", "50");
    EXPECT_EQ(sweeps.status, 0);
    EXPECT_EQ(output_lines(sweeps.output).size(), 3u);

    const Conversion negative = convert("# GHZ S RI R 50\n-1 0.1 0.2 0.3 0.4\n1 0.1 0.2 0.3 0.4\n", "", "75");
    EXPECT_EQ(negative.status, 0);
    EXPECT_EQ(negative.output, crlf_lines({"# GHZ S RI R 75"}));
}

TEST(CompleteRun, NumbersThatDoNotFitTheirFieldsWidenTheLine) {
    // With gamma = 0 the values pass through: 123.456 is written in full, with no mark.
    const Conversion ri = convert("# GHZ S RI R 50\n1 123.456 -0.5 1 0 1 0 -1 0.25\n", "", "50");
    EXPECT_EQ(ri.output, crlf_lines({"# GHZ S RI R 50",
                                     "1 123.456000000 -0.500000000  1.000000000  0.000000000 "
                                     " 1.000000000  0.000000000 -1.000000000  0.250000000"}));
    // -1e999 dB reads as minus infinity, a zero magnitude, which comes back as -inf dB at
    // angle 0; dB values of -10 or less take more than their columns.
    const Conversion db =
        convert("# GHZ S DB R 50\n1 -1e999 0 -32.15 45 -400 10 -3 -180\n", "", "50");
    EXPECT_EQ(db.output, crlf_lines({"# GHZ S DB R 50",
                                     "1         -inf    0.000000000 -32.150000000   45.000000000 "
                                     "-400.000000000   10.000000000 -3.000000000 -180.000000000"}));
}

}  // namespace
}  // namespace tavrin
