// End-to-end: differential pairs in the file form, on every build: what -v says, the header of a
// mixed-mode file whatever its name, values the modes' definition gives by hand, and a stream.
// Numbers at other references, orders of modes and refusals: tests/reference/check_mixed_mode.py.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "run/conversion_support.hpp"

namespace tavrin {
namespace {

using test::run_tool;
using test::ScratchDir;

// Two matched lines, 1 to 2 and 3 to 4, each passing t = 0.6 - 0.3j; nothing couples them.
const std::string two_lines =
    "# GHz S RI R 50\n"
    "1 0 0 0.6 -0.3 0 0 0 0\n 0.6 -0.3 0 0 0 0 0 0\n 0 0 0 0 0 0 0.6 -0.3\n 0 0 0 0 0.6 -0.3 0 0\n";
const long double t_re = 0.6L, t_im = -0.3L;

void expect_records(const std::string& output, const std::vector<long double>& want) {
    std::vector<long double> got;
    bool data = output.find("[Network Data]") == std::string::npos;
    for (const std::string& line : test::output_lines(output)) {
        if (line == "[Network Data]") data = true;
        if (!data || line[0] == '[' || line[0] == '#') continue;
        for (const long double x : test::numbers_of(line)) got.push_back(x);
    }
    ASSERT_EQ(got.size(), want.size()) << output;
    for (std::size_t k = 0; k < got.size(); ++k) EXPECT_NEAR(got[k], want[k], 1e-9) << k;
}

TEST(MixedModeFiles, AChannelAt85OhmsDifferentialIsWrittenAndSaid) {
    ScratchDir dir;
    dir.write("ch.s4p", two_lines);
    const auto result =
        run_tool(dir, {"-v", "--to", "42.5", "--mixed-mode", "1,3:2,4", "ch.s4p", "ch85.ts"});
    ASSERT_EQ(result.status, 0);
    if (!test::tool_is_windows_build()) {
        EXPECT_EQ(result.printed,
                  "tavrin: wrote ch85.ts: 1 record, 4 ports as 2 differential pairs (D1,3 D2,4 "
                  "C1,3 C2,4), from 50 ohms to 42.5 ohms per line: differential 85 ohms, common "
                  "21.25 ohms, RI\n");
    }
    const std::string written = dir.read("ch85.ts");
    EXPECT_TRUE(written.starts_with(test::crlf_lines(
        {"[Version] 2.0", "# GHZ S RI R 42.5", "[Number of Ports] 4", "[Number of Frequencies] 1",
         "[Reference] 42.5 42.5 42.5 42.5", "[Mixed-Mode Order] D1,3 D2,4 C1,3 C2,4",
         "[Network Data]"}) + "1 "))
        << written;
    EXPECT_TRUE(written.ends_with("\r\n[End]\r\n"));
    ASSERT_EQ(run_tool(dir, {"--to=42.5", "--mixed-mode=1,3:2,4", "ch.s4p", "ch85.s4p"}).status, 0);
    EXPECT_EQ(dir.read("ch85.s4p"), written);
}

TEST(MixedModeFiles, ModesAreTheSumsAndDifferencesOfTheLines) {
    // SDD21 = (S21 - S23 - S41 + S43)/2 for the pairs 1,3 and 2,4; with 3,1 first, -t. A
    // symmetrical two-port [[a, b], [b, a]] as one pair: SDD = a - b, SCC = a + b, no conversion.
    const std::vector<long double> two_pairs = {
        1, 0, 0, -t_re, -t_im, 0, 0, 0, 0, -t_re, -t_im, 0, 0, 0, 0, 0, 0,
        0, 0, 0, 0, 0, 0, t_re, t_im, 0, 0, 0, 0, t_re, t_im, 0, 0};
    const std::string symmetrical = "# GHz S RI R 50\n1 0.3 0.1 0.1 -0.2 0.1 -0.2 0.3 0.1\n";
    for (const auto& [input, pairs, want] :
         {std::tuple{two_lines, "3,1:2,4", two_pairs},
          std::tuple{symmetrical, "1,2", std::vector<long double>{1, 0.2L, 0.3L, 0, 0, 0, 0, 0.4L, -0.1L}}}) {
        ScratchDir dir;
        const std::string name = input == two_lines ? "in.s4p" : "in.s2p";
        dir.write(name, input);
        ASSERT_EQ(run_tool(dir, {"--to", "50", "--mixed-mode", pairs, name, "out.ts"}).status, 0);
        expect_records(dir.read("out.ts"), want);
    }
}

TEST(MixedModeFiles, AStreamOfMixedModeDataNeedsItsOutputsFormSaid) {
    ScratchDir dir;
    dir.write("ch.s4p", two_lines);
    ASSERT_EQ(run_tool(dir, {"--to", "50", "--mixed-mode", "1,3:2,4", "ch.s4p", "mm.ts"}).status, 0);
    const std::string mm = dir.read("mm.ts");
    // A version 1 output's first line is written before the stream shows its modes.
    const auto refused = run_tool(dir, {"-v", "--ports", "4", "--to", "50", "-", "out.s4p"}, mm);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.printed.find("standard input: mixed-mode data"), std::string::npos);
    EXPECT_FALSE(dir.exists("out.s4p"));
    ASSERT_EQ(run_tool(dir, {"--ports", "4", "--to", "50", "--single-ended", "-", "se.s4p"}, mm)
                  .status,
              0);
    expect_records(dir.read("se.s4p"), {1, 0, 0, t_re, t_im, 0, 0, 0, 0, t_re, t_im, 0, 0, 0, 0,
                                        0, 0, 0, 0, 0, 0, 0, 0, t_re, t_im, 0, 0, 0, 0, t_re, t_im,
                                        0, 0});
}

}  // namespace
}  // namespace tavrin
