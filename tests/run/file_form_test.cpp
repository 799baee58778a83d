// End-to-end: the file form (--to): names as written, any port count, refusals that leave
// nothing behind and an existing output untouched, several inputs, the standard streams, what
// -v says of mixed-mode data and its header (its numbers, orders and refusals:
// tests/reference/check_mixed_mode.py).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "run/conversion_support.hpp"

namespace tavrin {
namespace {

using test::crlf_lines;
using test::run_tool;
using test::ScratchDir;

// Under Wine, standard output and error carry its own chatter too.
bool linux_build() { return !test::tool_is_windows_build(); }

// Nothing but the named files: no output and no part of one left behind.
std::vector<std::string> files_in(const ScratchDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
        names.push_back(entry.path().lexically_relative(dir.path()).generic_string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

const std::string three_port =
    "# GHz S RI R 50\n"
    "1 0.1 0 0.2 0 0.3 0\n 0.2 0 0.1 0 0.4 0\n 0.3 0 0.4 0 0.1 0\n"
    "2 0.1 0 0.2 0 0.3 0\n 0.2 0 0.1 0 0.4 0\n 0.3 0 0.4 0 0.1 0\n";

TEST(FileForm, TwoPortFilesGiveTheFourArgumentFormsBytes) {
    for (const char* example : {"amplifier_ri", "transition_solver", "filter_fwd"}) {
        ScratchDir dir;
        const std::string input = std::string(TAVRIN_EXAMPLES_DIR) + "/" + example + ".s2p";
        std::filesystem::copy_file(input, dir.file("in.s2p"));
        ASSERT_EQ(run_tool(dir, {"in", "in", "four", "75"}).status, 0) << example;
        ASSERT_EQ(run_tool(dir, {"--to", "75", "in.s2p", "file.s2p"}).status, 0) << example;
        if (linux_build()) {
            EXPECT_EQ(run_tool(dir, {"--to=75", "in.s2p", "-"}).printed, dir.read("four.s2p"));
        }
        EXPECT_EQ(dir.read("file.s2p"), dir.read("four.s2p")) << example;
    }
}

TEST(FileForm, OnePortsRenormaliseAsTheReflectionCoefficientDoes) {
    // A matched 50-ohm load seen from 75 ohms: (50 - 75) / (50 + 75) = -0.2; an open stays 1.
    ScratchDir dir;
    dir.write("load.s1p", "! a load\n# MHz S RI R 50\n100 0 0\n200 1 0\n");
    ASSERT_EQ(run_tool(dir, {"--to", "75", "load.s1p", "load75.s1p"}).status, 0);
    EXPECT_EQ(dir.read("load75.s1p"), crlf_lines({"# MHZ S RI R 75",
                                                  "100 -0.200000000  0.000000000",
                                                  "200  1.000000000  0.000000000"}));
}

TEST(FileForm, ContinuationLinesHoldFourPairsAndLineUpWithTheFirst) {
    ScratchDir dir;
    std::string record = "1.5";
    for (int i = 0; i < 25; ++i) record += i % 6 == 0 ? " 1 0" : " 0 0";
    dir.write("five.s5p", "# GHz S RI R 50\n" + record + "\n");
    ASSERT_EQ(run_tool(dir, {"--to", "50", "five.s5p", "out.s5p"}).status, 0);
    const std::string one = "  1.000000000  0.000000000";
    const std::string zero = "  0.000000000  0.000000000";
    // Each row of five: four pairs, then one on a line of its own.
    EXPECT_EQ(dir.read("out.s5p"),
              crlf_lines({"# GHZ S RI R 50", "1.5" + one + zero + zero + zero, "   " + zero,
                          "   " + zero + one + zero + zero, "   " + zero,
                          "   " + zero + zero + one + zero, "   " + zero,
                          "   " + zero + zero + zero + one, "   " + zero,
                          "   " + zero + zero + zero + zero, "   " + one}));
}

TEST(FileForm, RefusalsLeaveNoOutputAndAnExistingOneUntouched) {
    struct Case {
        const char* name;
        std::string input_name;
        std::string input;
        std::vector<std::string> options;
        std::string said;  // with -v
    };
    const std::string broken_two_port = "# GHz S RI R 50\n1 0.1 0 0.2 0 0.3 0\n";
    const std::vector<Case> cases = {
        {"extension and keyword differ", "a.s3p",
         "[Version] 2.0\n# GHz S RI R 50\n[Number of Ports] 4\n[Network Data]\n", {}, "ports"},
        {"--ports and extension differ", "a.s3p", three_port, {"--ports", "4"}, "--ports 4"},
        {"no port count", "a.txt", three_port, {}, "--ports"},
        {"a short record", "a.s3p", three_port.substr(0, three_port.size() - 4), {}, "frequency 2"},
        {"a one-port line of four numbers", "a.s1p", "# GHz S RI R 50\n1 0.1 0 0.2 0\n", {},
         "frequency 1"},
        {"a two-port line of six numbers", "a.s2p", broken_two_port, {}, "after 6 numbers"},
        {"a lone frequency", "a.s2p", "# GHz S RI R 50\n1 0 0 0 0\n2\n3 0 0 0 0\n", {},
         "line 3: the record at frequency 2 ends after 0"},
        {"a lone last frequency", "a.s3p", three_port + "3\n", {}, "frequency 3 ends after 0"},
        {"more ports than memory holds", "a.ts",
         "[Version] 2.0\n# GHz S RI R 50\n[Number of Ports] 5793\n[Network Data]\n1 0 0\n", {},
         "line 3: '[Number of Ports] 5793': one record of that many ports would not fit"},
        {"three new references for four ports", "a.s4p", "# GHz S RI R 50\n", {"--to", "50,60,70"},
         "one for each of the 4 ports"},
        // Gamma = (25 - 50) / (25 + 50) = -1/3: I - Gamma S vanishes at S = -3.
        {"a singular network", "a.s1p", "# GHz S RI R 50\n1 -3 0\n", {"--to", "25"}, "singular"},
        {"a frequency that does not rise", "a.s1p", "# GHz S RI R 50\n2 0 0\n1 0 0\n", {},
         "not above"},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        dir.write(c.input_name, c.input);
        dir.write("out", "keep");
        std::vector<std::string> arguments = {"-v"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        if (std::find(c.options.begin(), c.options.end(), "--to") == c.options.end()) {
            arguments.insert(arguments.end(), {"--to", "75"});
        }
        arguments.insert(arguments.end(), {c.input_name, "out"});
        const auto result = run_tool(dir, arguments);
        EXPECT_EQ(result.status, 1) << c.name;
        EXPECT_NE(result.printed.find(c.said), std::string::npos) << c.name << ": " << result.printed;
        EXPECT_EQ(dir.read("out"), "keep") << c.name;
        EXPECT_EQ(dir.read(c.input_name), c.input) << c.name;
        EXPECT_EQ(files_in(dir), (std::vector<std::string>{c.input_name, "out"})) << c.name;
    }
}

TEST(FileForm, AnOutputThatIsAnInputIsRefusedBeforeAnythingIsWritten) {
    ScratchDir dir;
    dir.write("a.s3p", three_port);
    std::filesystem::create_symlink("a.s3p", dir.path() / "link.s3p");
    std::filesystem::create_directory(dir.path() / "sub");
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--to", "75", "a.s3p", "a.s3p"},
          {"--to", "75", "a.s3p", "link.s3p"},
          {"--to", "75", "a.s3p", "./a.s3p"},
          {"--to", "75", "--out-dir", ".", "a.s3p"}}) {
        EXPECT_EQ(run_tool(dir, arguments).status, 1) << arguments[2];
        EXPECT_EQ(dir.read("a.s3p"), three_port) << arguments[2];
    }
    EXPECT_EQ(files_in(dir), (std::vector<std::string>{"a.s3p", "link.s3p", "sub"}));
}

TEST(FileForm, OutDirConvertsEveryInputItCanAndTellsOfTheOthers) {
    ScratchDir dir;
    std::filesystem::create_directory(dir.path() / "in");
    std::filesystem::create_directory(dir.path() / "out");
    dir.write("in/good.s3p", three_port);
    dir.write("in/bad.s3p", three_port.substr(0, three_port.size() - 4));
    dir.write("in/also.s1p", "# GHz S RI R 50\n1 0 0\n");
    // Of the same name in another folder: it must not replace what the first one wrote.
    std::filesystem::create_directory(dir.path() / "in2");
    dir.write("in2/also.s1p", "# GHz S RI R 50\n1 0.5 0\n");
    const auto result = run_tool(dir, {"-v", "--to", "75", "--out-dir", "out", "in/good.s3p",
                                       "in/bad.s3p", "in/also.s1p", "in2/also.s1p"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.printed.find("an earlier input of this run"), std::string::npos);
    // A matched 50-ohm load seen from 75 ohms: (50 - 75) / (50 + 75).
    EXPECT_EQ(dir.read("out/also.s1p"),
              crlf_lines({"# GHZ S RI R 75", "1 -0.200000000  0.000000000"}));
    // The folder and the name joined by the system's separator ('out\\good.s3p' on Windows).
    EXPECT_NE(result.printed.find("good.s3p: 2 S-parameter records of 3 ports"), std::string::npos)
        << result.printed;
    EXPECT_NE(result.printed.find("in/bad.s3p"), std::string::npos) << result.printed;
    EXPECT_EQ(files_in(dir), (std::vector<std::string>{"in", "in/also.s1p", "in/bad.s3p",
                                                       "in/good.s3p", "in2", "in2/also.s1p",
                                                       "out", "out/also.s1p", "out/good.s3p"}));
    ASSERT_EQ(run_tool(dir, {"--to", "75", "in/good.s3p", "single.s3p"}).status, 0);
    EXPECT_EQ(dir.read("out/good.s3p"), dir.read("single.s3p"));
}

TEST(FileForm, StandardStreamsCarryTheSameBytesAsFiles) {
    ScratchDir dir;
    dir.write("a.s3p", three_port);
    ASSERT_EQ(run_tool(dir, {"--to", "75", "a.s3p", "file.s3p"}).status, 0);
    const auto piped = run_tool(dir, {"--ports", "3", "--to", "75", "-", "-"}, three_port);
    EXPECT_EQ(piped.status, 0);
    if (linux_build()) {
        EXPECT_EQ(piped.printed, dir.read("file.s3p"));
    }
    // Without a port count standard input cannot be read.
    EXPECT_EQ(run_tool(dir, {"--to", "75", "-", "-"}, three_port).status, 1);
    // A version 2.0 output, whose header counts the records, from a stream read once.
    ASSERT_EQ(run_tool(dir, {"--ports", "3", "--to", "50,60,70", "-", "x.ts"}, three_port).status, 0);
    ASSERT_EQ(run_tool(dir, {"--to", "50,60,70", "a.s3p", "y.ts"}).status, 0);
    EXPECT_EQ(dir.read("x.ts"), dir.read("y.ts"));
}

TEST(FileForm, ReferencesPerPortGiveAVersion2FileThatReadsBack) {
    ScratchDir dir;
    dir.write("a.s3p", three_port);
    ASSERT_EQ(run_tool(dir, {"--to", "50,200,75", "a.s3p", "b.ts"}).status, 0);
    const std::string b = dir.read("b.ts");
    for (const char* line : {"[Version] 2.0\r\n# GHZ S RI R 50\r\n[Number of Ports] 3\r\n"
                             "[Number of Frequencies] 2\r\n[Reference] 50 200 75\r\n"
                             "[Network Data]\r\n",
                             "\r\n[End]\r\n"}) {
        EXPECT_NE(b.find(line), std::string::npos) << line << b;
    }
    // Back to 50 ohms at every port: the input's numbers, but for the nine decimals of b.ts.
    ASSERT_EQ(run_tool(dir, {"--to", "50", "b.ts", "c.s3p"}).status, 0);
    ASSERT_EQ(run_tool(dir, {"--to", "50", "a.s3p", "d.s3p"}).status, 0);
    const std::vector<std::string> back = test::output_lines(dir.read("c.s3p"));
    const std::vector<std::string> direct = test::output_lines(dir.read("d.s3p"));
    ASSERT_EQ(back.size(), direct.size());
    for (std::size_t i = 0; i < back.size(); ++i) {
        const auto got = test::numbers_of(back[i]);
        const auto expected = test::numbers_of(direct[i]);
        ASSERT_EQ(got.size(), expected.size()) << back[i];
        for (std::size_t k = 0; k < got.size(); ++k) EXPECT_NEAR(got[k], expected[k], 1e-8) << back[i];
    }
}

// Two matched lines, 1 to 2 and 3 to 4; nothing couples them.
const std::string two_lines =
    "# GHz S RI R 50\n"
    "1 0 0 0.6 -0.3 0 0 0 0\n 0.6 -0.3 0 0 0 0 0 0\n 0 0 0 0 0 0 0.6 -0.3\n 0 0 0 0 0.6 -0.3 0 0\n";

TEST(MixedModeFiles, AChannelAt85OhmsDifferentialIsWrittenAndSaid) {
    ScratchDir dir;
    dir.write("ch.s4p", two_lines);
    const auto result =
        run_tool(dir, {"-v", "--to", "42.5", "--mixed-mode", "1,3:2,4", "ch.s4p", "ch85.ts"});
    ASSERT_EQ(result.status, 0);
    if (linux_build()) {
        EXPECT_EQ(result.printed,
                  "tavrin: wrote ch85.ts: 1 record, 4 ports as 2 differential pairs (D1,3 D2,4 "
                  "C1,3 C2,4), from 50 ohms to 42.5 ohms per line: differential 85 ohms, common "
                  "21.25 ohms, RI\n");
    }
    const std::string written = dir.read("ch85.ts");
    EXPECT_TRUE(written.starts_with(crlf_lines(
        {"[Version] 2.0", "# GHZ S RI R 42.5", "[Number of Ports] 4", "[Number of Frequencies] 1",
         "[Reference] 42.5 42.5 42.5 42.5", "[Mixed-Mode Order] D1,3 D2,4 C1,3 C2,4",
         "[Network Data]"}) + "1 "))
        << written;
    EXPECT_TRUE(written.ends_with("\r\n[End]\r\n"));
    ASSERT_EQ(run_tool(dir, {"--to=42.5", "--mixed-mode=1,3:2,4", "ch.s4p", "ch85.s4p"}).status, 0);
    EXPECT_EQ(dir.read("ch85.s4p"), written);
}

TEST(MixedModeFiles, TwoPortRecordsOverTwoLinesReadAsOnOne) {
    ScratchDir dir;
    const std::string option = "# GHz S RI R 50\n";
    dir.write("one.s2p", option + "1 0.1 0.2 0.9 -0.1 0.05 0 0.3 -0.4\n2 0.2 0 0.8 0.1\n");
    dir.write("two.s2p", option + "1 0.1 0.2 0.9 -0.1\n! S12 S22\n  0.05 0 0.3 -0.4\n"
                                  "2 0.2 0 0.8 0.1\n");
    for (const char* name : {"one", "two"}) {
        ASSERT_EQ(run_tool(dir, {"--to", "50", "--mixed-mode", "1,2", std::string(name) + ".s2p",
                                 std::string(name) + ".ts"})
                      .status,
                  0)
            << name;
    }
    const std::string written = dir.read("two.ts");
    EXPECT_EQ(written, dir.read("one.ts"));
    // Record 2 alone is symmetrical: SDD11 = (S11 - S12 - S21 + S22) / 2 = -0.6 - 0.1j.
    EXPECT_NE(written.find("\r\n2 -0.600000000 -0.100000000 "), std::string::npos) << written;
}

}  // namespace
}  // namespace tavrin
