// End-to-end: differential pairs in the file form. Mixed-mode data written as a Touchstone 2.0
// file whatever its name, read in any order of modes, written single-ended again; refusals that
// leave nothing behind. Values are checked where the modes' definition gives them by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "run/conversion_support.hpp"

namespace tavrin {
namespace {

using test::crlf_lines;
using test::run_tool;
using test::ScratchDir;

bool linux_build() {
    return !test::tool_is_windows_build();
}

std::vector<std::string> files_in(const ScratchDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Two matched lines, 1 to 2 and 3 to 4, each passing t = 0.6 - 0.3j; nothing couples them.
const std::string two_lines =
    "# GHz S RI R 50\n"
    "1 0 0 0.6 -0.3 0 0 0 0\n 0.6 -0.3 0 0 0 0 0 0\n 0 0 0 0 0 0 0.6 -0.3\n 0 0 0 0 0.6 -0.3 0 0\n";

// Their records' numbers, single-ended, and as the modes of the pairs 1,3 and 2,4 at twice and
// half the lines' reference: SDD21 = SCC21 = t, since the lines are alike.
const long double t_re = 0.6L, t_im = -0.3L;
const std::vector<long double> two_lines_numbers = {
    1, 0, 0, t_re, t_im, 0, 0,    0,    0, t_re, t_im, 0, 0,    0,    0, 0, 0,
    0, 0, 0, 0,    0,    0, t_re, t_im, 0, 0,    0,    0, t_re, t_im, 0, 0};

// The numbers of the records of an output, after its header.
std::vector<long double> record_numbers(const std::string& output) {
    std::vector<long double> numbers;
    bool data = output.find("[Network Data]") == std::string::npos;
    for (const std::string& line : test::output_lines(output)) {
        if (line == "[Network Data]") data = true;
        if (!data || line.empty() || line[0] == '[' || line[0] == '#') continue;
        for (const long double x : test::numbers_of(line)) numbers.push_back(x);
    }
    return numbers;
}

void expect_numbers(const std::string& output, const std::vector<long double>& want,
                    const std::string& name) {
    const std::vector<long double> got = record_numbers(output);
    ASSERT_EQ(got.size(), want.size()) << name << "\n" << output;
    for (std::size_t k = 0; k < got.size(); ++k)
        EXPECT_NEAR(got[k], want[k], 1e-9) << name << " " << k;
}

TEST(MixedModeFiles, AChannelAt85OhmsDifferentialSaysWhatItWrote) {
    ScratchDir dir;
    dir.write("ch.s4p", two_lines);
    const auto result =
        run_tool(dir, {"-v", "--to", "42.5", "--mixed-mode", "1,3:2,4", "ch.s4p", "ch85.ts"});
    ASSERT_EQ(result.status, 0) << result.printed;
    if (linux_build()) {
        EXPECT_EQ(result.printed,
                  "tavrin: wrote ch85.ts: 1 record, 4 ports as 2 differential pairs (D1,3 D2,4 "
                  "C1,3 C2,4), from 50 ohms to 42.5 ohms per line: differential 85 ohms, common "
                  "21.25 ohms, RI\n");
    }
    const std::string written = dir.read("ch85.ts");
    EXPECT_EQ(written.substr(0, written.find("1 ")),
              crlf_lines({"[Version] 2.0", "# GHZ S RI R 42.5", "[Number of Ports] 4",
                          "[Number of Frequencies] 1", "[Reference] 42.5 42.5 42.5 42.5",
                          "[Mixed-Mode Order] D1,3 D2,4 C1,3 C2,4", "[Network Data]"}));
    EXPECT_TRUE(written.ends_with("\r\n[End]\r\n"));
    // Whatever the output's name, mixed-mode data is a Touchstone 2.0 file.
    ASSERT_EQ(run_tool(dir, {"--to=42.5", "--mixed-mode=1,3:2,4", "ch.s4p", "ch85.s4p"}).status, 0);
    EXPECT_EQ(dir.read("ch85.s4p"), written);
}

TEST(MixedModeFiles, ModesAreTheLinesSumsAndDifferences) {
    struct Case {
        const char* name;
        std::string input_name, input;
        std::vector<std::string> options;
        std::string order;  // its line in the output
        std::vector<long double> numbers;
    };
    // A symmetrical two-port [[a, b], [b, a]] as one pair: SDD = a - b, SCC = a + b, written
    // SDD SCD SDC SCC.
    const std::string symmetrical = "# GHz S RI R 50\n1 0.3 0.1 0.1 -0.2 0.1 -0.2 0.3 0.1\n";
    const std::vector<Case> cases = {
        {"two lines as two pairs",
         "ch.s4p",
         two_lines,
         {"--mixed-mode", "1,3:2,4"},
         "D1,3 D2,4 C1,3 C2,4",
         two_lines_numbers},
        // SDD21 = (S32 - S34 - S12 + S14)/2 = -t; the common modes do not change.
        {"one pair's negative line first",
         "ch.s4p",
         two_lines,
         {"--mixed-mode", "3,1:2,4"},
         "D3,1 D2,4 C3,1 C2,4",
         {1, 0, 0, -t_re, -t_im, 0, 0,    0,    0, -t_re, -t_im, 0, 0,    0,    0, 0, 0,
          0, 0, 0, 0,     0,     0, t_re, t_im, 0, 0,     0,     0, t_re, t_im, 0, 0}},
        {"a two-port as one pair",
         "sym.s2p",
         symmetrical,
         {"--mixed-mode", "1,2"},
         "D1,2 C1,2",
         {1, 0.2L, 0.3L, 0, 0, 0, 0, 0.4L, -0.1L}},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        dir.write(c.input_name, c.input);
        std::vector<std::string> arguments = {"--to", "50"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        arguments.insert(arguments.end(), {c.input_name, "out.ts"});
        ASSERT_EQ(run_tool(dir, arguments).status, 0) << c.name;
        const std::string out = dir.read("out.ts");
        EXPECT_NE(out.find("\r\n[Mixed-Mode Order] " + c.order + "\r\n"), std::string::npos)
            << c.name;
        expect_numbers(out, c.numbers, c.name);
    }
}

TEST(MixedModeFiles, AMixedModeFileComesBackSingleEndedAndGoesOnInItsOwnOrder) {
    // Pairs 2,3 and 6,5 (SDD 0.2, SCC 0.6 each), ports 4 and 1 single-ended (S 0.1 and 0.3).
    // Single-ended at the same references: S_PP = S_NN = (SDD + SCC)/2, S_PN = (SCC - SDD)/2.
    const std::string six =
        "[Version] 2.0\n# GHz S RI R 50\n[Number of Ports] 6\n[Number of Frequencies] 1\n"
        "[Reference] 50 75 75 50 0.01 0.01\n[Mixed-Mode Order] D2,3 D6,5 C2,3 C6,5 S4 S1\n"
        "[Matrix Format] Lower\n[Network Data]\n"
        "1 0.2 0\n0 0 0.2 0\n0 0 0 0 0.6 0\n0 0 0 0 0 0 0.6 0\n0 0 0 0 0 0 0 0 0.1 0\n"
        "0 0 0 0 0 0 0 0 0 0 0.3 0\n[End]\n";
    ScratchDir dir;
    dir.write("six.ts", six);
    const auto result =
        run_tool(dir, {"-v", "--to", "50,75,75,50,0.01,0.01", "--single-ended", "six.ts", "se.ts"});
    ASSERT_EQ(result.status, 0) << result.printed;
    if (linux_build()) {
        EXPECT_NE(result.printed.find("from mixed-mode data (D2,3 D6,5 C2,3 C6,5 S4 S1) at "
                                      "50/75/75/50/0.01/0.01 ohms per port to "
                                      "50/75/75/50/0.01/0.01 ohms per port, RI"),
                  std::string::npos)
            << result.printed;
    }
    const std::string se = dir.read("se.ts");
    EXPECT_EQ(se.find("[Mixed-Mode Order]"), std::string::npos);
    std::vector<long double> want(1 + 72, 0.0L);
    const auto put = [&want](int i, int j, long double value) {
        want[1 + 2 * ((i - 1) * 6 + j - 1)] = value;
    };
    want[0] = 1;
    put(1, 1, 0.3L), put(4, 4, 0.1L);
    for (const auto& [p, n] : {std::pair{2, 3}, std::pair{6, 5}}) {
        put(p, p, 0.4L), put(n, n, 0.4L), put(p, n, 0.2L), put(n, p, 0.2L);
    }
    expect_numbers(se, want, "single-ended");
    // Renormalised, it stays in its order, the lines of each pair at one new reference.
    const auto again = run_tool(dir, {"-v", "--to", "50", "six.ts", "again.s6p"});
    ASSERT_EQ(again.status, 0) << again.printed;
    EXPECT_NE(dir.read("again.s6p")
                  .find("\r\n[Reference] 50 50 50 50 50 50\r\n[Mixed-Mode Order] "
                        "D2,3 D6,5 C2,3 C6,5 S4 S1\r\n"),
              std::string::npos);
    if (linux_build()) {
        EXPECT_NE(again.printed.find("6 ports as 2 differential pairs and 2 single-ended ports "
                                     "(D2,3 D6,5 C2,3 C6,5 S4 S1)"),
                  std::string::npos)
            << again.printed;
    }
}

TEST(MixedModeFiles, AStreamOfMixedModeDataNeedsItsFormSaid) {
    ScratchDir dir;
    dir.write("ch.s4p", two_lines);
    ASSERT_EQ(run_tool(dir, {"--to", "50", "--mixed-mode", "1,3:2,4", "ch.s4p", "mm.ts"}).status,
              0);
    const std::string mm = dir.read("mm.ts");
    // Its output's header, written before the records, would have to say so beforehand.
    const auto refused = run_tool(dir, {"-v", "--ports", "4", "--to", "50", "-", "out.s4p"}, mm);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.printed.find("standard input"), std::string::npos) << refused.printed;
    EXPECT_FALSE(dir.exists("out.s4p"));
    ASSERT_EQ(run_tool(dir, {"--ports", "4", "--to", "50", "-", "again.ts"}, mm).status, 0);
    const std::string again = dir.read("again.ts");
    EXPECT_EQ(again.substr(0, again.find("[Network Data]")),
              mm.substr(0, mm.find("[Network Data]")));
    expect_numbers(again, two_lines_numbers, "in its own order");
    ASSERT_EQ(
        run_tool(dir, {"--ports", "4", "--to", "50", "--single-ended", "-", "se.s4p"}, mm).status,
        0);
    expect_numbers(dir.read("se.s4p"), two_lines_numbers, "back single-ended");
}

TEST(MixedModeFiles, RefusalsLeaveNoOutputAndAnExistingOneUntouched) {
    struct Case {
        const char* name;
        std::string input_name, input;
        std::vector<std::string> options;
        std::string said;  // with -v
    };
    const std::string mixed_head =
        "[Version] 2.0\n# GHz S RI R 50\n[Number of Ports] 4\n[Mixed-Mode Order] ";
    const std::string record =
        "1 0 0 0 0 0 0 0 0\n0 0 0 0 0 0 0 0\n0 0 0 0 0 0 0 0\n0 0 0 0 0 0 0 0\n";
    const std::string noisy = "# GHz S RI R 50\n1 0.1 0 0.2 0 0.2 0 0.1 0\n0.5 1 0.5 20 0.2\n";
    const std::vector<Case> cases = {
        {"new references that differ on a pair",
         "ch.s4p",
         two_lines,
         {"--to", "50,50,60,50", "--mixed-mode", "1,3:2,4"},
         "pair 1,3 at 50 and 60 ohms"},
        {"a port the file lacks", "ch.s4p", two_lines, {"--mixed-mode", "1,3:2,5"}, "port 5"},
        {"--single-ended on single-ended data",
         "ch.s4p",
         two_lines,
         {"--single-ended"},
         "single-ended data"},
        {"a two-port with noise data", "amp.s2p", noisy, {"--mixed-mode", "1,2"}, "line 3: noise"},
        {"an order that leaves a port out",
         "mm.ts",
         mixed_head + "D1,3 C1,3 S2\n" + record,
         {},
         "leaves port 4 out"},
        {"a differential mode alone",
         "mm.ts",
         mixed_head + "D1,3 D2,4 C1,3\n" + record,
         {},
         "D2,4 has no C2,4"},
        {"references that differ on a pair of the file",
         "mm.ts",
         mixed_head + "D1,3 D2,4 C1,3 C2,4\n[Reference] 50 50 50 60\n" + record,
         {},
         "pair 2,4 at 50 and 60"},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        dir.write(c.input_name, c.input);
        dir.write("out.ts", "keep");
        std::vector<std::string> arguments = {"-v", "--to", "50"};
        if (c.options.size() > 1 && c.options[0] == "--to") arguments.resize(1);
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        arguments.insert(arguments.end(), {c.input_name, "out.ts"});
        const auto result = run_tool(dir, arguments);
        EXPECT_EQ(result.status, 1) << c.name;
        EXPECT_NE(result.printed.find(c.said), std::string::npos)
            << c.name << ": " << result.printed;
        EXPECT_EQ(dir.read("out.ts"), "keep") << c.name;
        EXPECT_EQ(files_in(dir), (std::vector<std::string>{c.input_name, "out.ts"})) << c.name;
    }
}

}  // namespace
}  // namespace tavrin
