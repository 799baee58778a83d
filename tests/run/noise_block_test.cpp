// End-to-end: the noise block of an amplifier's file is kept, renormalised, after the
// S-parameter lines, and never read as S-parameters.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <string>
#include <vector>

#include "run/conversion_support.hpp"

namespace tavrin {
namespace {

using test::Conversion;
using test::convert;
using test::numbers_of;
using test::output_lines;
using Cx = std::complex<long double>;

const long double pi = 3.141592653589793238462643383279502884L;
const std::string s_line = " 0.6 -30 8 120 0.02 60 0.4 -50\n";

struct Noise {
    long double fmin, magnitude, degrees, resistance;
};

// The same optimum source impedance seen from n, and Rn over n, from first principles:
// Zopt = R1 (1 + G)/(1 - G), then G' = (Zopt - n)/(Zopt + n).
Noise renormalised(const Noise& in, long double r1, long double n, bool in_ohms) {
    const Cx g = std::polar(in.magnitude, in.degrees * pi / 180.0L);
    const Cx z_opt = r1 * (1.0L + g) / (1.0L - g);
    const Cx g_new = (z_opt - n) / (z_opt + n);
    const long double rn_ohms = in_ohms ? in.resistance : in.resistance * r1;
    return {in.fmin, std::abs(g_new), std::arg(g_new) * 180.0L / pi, rn_ohms / n};
}

void expect_noise_line(const std::string& line, const std::string& frequency, const Noise& expected) {
    EXPECT_EQ(line.substr(0, line.find(' ')), frequency) << line;
    const std::vector<long double> got = numbers_of(line);
    ASSERT_EQ(got.size(), 5u) << line;
    EXPECT_NEAR(got[1], expected.fmin, 1e-9L) << line;
    EXPECT_NEAR(got[2], expected.magnitude, 1e-9L) << line;
    EXPECT_NEAR(got[3], expected.degrees, 1e-9L) << line;
    EXPECT_NEAR(got[4], expected.resistance, 1e-9L) << line;
}

struct NoiseCase {
    const char* name;
    std::string forward;
    std::string reverse;
    long double r1;
    bool in_ohms;
    std::size_t s_lines;
    std::vector<std::string> noise_frequencies;
};

const Noise sheet[] = {{0.45, 0.35, 25, 0.18}, {0.52, 0.31, 48, 0.15}, {0.61, 0.27, 72, 0.13}};
const std::string sheet_lines[] = {" 0.45 0.35 25 0.18\n", " 0.52 0.31 48 0.15\n",
                                   " 0.61 0.27 72 0.13\n"};

TEST(NoiseBlock, IsWrittenAfterTheSParametersForTheNewReference) {
    const std::string v2 = "[Version] 2.0\n# GHz S MA R 75\n[Number of Ports] 2\n[Network Data]\n";
    const std::vector<NoiseCase> cases = {
        {"a data sheet: noise after a drop",
         "! LNA\n# GHz S MA R 50\n1" + s_line + "2" + s_line + "3" + s_line +
             "! Noise parameters\n1.0" + sheet_lines[0] + "2.0" + sheet_lines[1] + "3.0" +
             sheet_lines[2],
         "", 50, false, 3, {"1.0", "2.0", "3.0"}},
        {"noise from the last S frequency on",
         "# GHz S MA R 50\n1" + s_line + "2" + s_line + "2" + sheet_lines[0] + "3" +
             sheet_lines[1] + "4" + sheet_lines[2],
         "", 50, false, 2, {"2", "3", "4"}},
        {"[Noise Data] with Rn in ohms",
         v2 + "1" + s_line + "2" + s_line + "[Noise Data]\n1 0.45 0.35 25 9\n2 0.52 0.31 48 7.5\n[End]\n",
         "", 75, true, 2, {"1", "2"}},
        {"[Noise Data] above the last S frequency: left out",
         v2 + "1" + s_line + "2" + s_line + "[Noise Data]\n3 0.45 0.35 25 9\n[End]\n", "", 75, true,
         2, {}},
        {"a malformed line ends the block",
         "# GHz S MA R 50\n4" + s_line + "1" + sheet_lines[0] + "2 0.52 0.31 48\n3" + sheet_lines[2],
         "", 50, false, 1, {"1"}},
        {"per-port references: port 1's",
         "# GHz S MA R 75 50\n3" + s_line + "1" + sheet_lines[0], "", 75, false, 1, {"1"}},
        {"two files: the forward file's block",
         "# GHz S MA R 50\n1 0.6 -30 8 120\n2 0.6 -30 8 120\n1" + sheet_lines[0] + "2" + sheet_lines[1],
         "# GHz S MA R 50\n1 0.4 -50 0.02 60\n2 0.4 -50 0.02 60\n1 9 9 9 9\n", 50, false, 2, {"1", "2"}},
    };
    for (const NoiseCase& c : cases) {
        for (const char* n : {"75", "50", "25"}) {
            const Conversion run = convert(c.forward, c.reverse, n);
            ASSERT_EQ(run.status, 0) << c.name;
            const auto lines = output_lines(run.output);
            ASSERT_EQ(lines.size(), 1 + c.s_lines + c.noise_frequencies.size()) << c.name << n;
            for (std::size_t i = 1; i <= c.s_lines; ++i) {
                EXPECT_EQ(numbers_of(lines[i]).size(), 9u) << c.name << ": " << lines[i];
            }
            for (std::size_t k = 0; k < c.noise_frequencies.size(); ++k) {
                Noise in = sheet[k];
                if (c.in_ohms) in.resistance = k == 0 ? 9 : 7.5;
                // The malformed case's first line is the sheet's first.
                expect_noise_line(lines[1 + c.s_lines + k], c.noise_frequencies[k],
                                  renormalised(in, c.r1, std::stold(n), c.in_ohms));
            }
        }
    }
}

TEST(NoiseBlock, IsTheSameAtEveryThreadCount) {
    std::string file = "# HZ S MA R 50\n";
    for (int f = 1; f <= 20000; ++f) file += std::to_string(f) + s_line;
    file += "1" + sheet_lines[0] + "5" + sheet_lines[1] + "9" + sheet_lines[2];
    std::string first;
    for (const char* threads : {"1", "3"}) {
        ::setenv("TAVRIN_THREADS", threads, 1);
        const Conversion run = convert(file, "", "75");
        ::unsetenv("TAVRIN_THREADS");
        ASSERT_EQ(run.status, 0) << threads;
        const auto lines = output_lines(run.output);
        ASSERT_EQ(lines.size(), 1u + 20000u + 3u) << threads;
        if (first.empty()) {
            first = run.output;
        } else {
            EXPECT_EQ(run.output, first) << threads;
        }
    }
}

}  // namespace
}  // namespace tavrin
