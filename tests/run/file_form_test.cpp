// End-to-end: the file form (--to): names as written, any port count, refusals that leave
// nothing behind and an existing output untouched, several inputs, the standard streams, what
// -v says of mixed-mode data and its header (its numbers, orders and refusals:
// tests/reference/check_mixed_mode.py).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "run/conversion_support.hpp"

namespace tavrin {
namespace {

using namespace std::string_literals;
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

// The lines the tool printed, without Wine's.
std::vector<std::string> tool_lines(const std::string& printed) {
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; at < printed.size(); at = end + 1) {
        end = std::min(printed.find('\n', at), printed.size());
        if (printed.compare(at, 8, "tavrin: ") == 0) lines.push_back(printed.substr(at, end - at));
    }
    return lines;
}

// Each file in dir, its name and bytes.
std::vector<std::string> contents_of(const ScratchDir& dir) {
    std::vector<std::string> contents = files_in(dir);
    for (std::string& name : contents) name += ": " + dir.read(name);
    return contents;
}

// The inputs converted to out/ at a thread count; out/link.s1p leads to out/y.s1p.
test::RunResult convert_folder(const ScratchDir& dir, const char* threads,
                               const std::vector<std::pair<std::string, std::string>>& inputs) {
    std::filesystem::create_directory(dir.path() / "out");
    dir.write("out/y.s1p", "old");
    std::filesystem::create_symlink("y.s1p", dir.path() / "out" / "link.s1p");
    std::vector<std::string> arguments = {"-v", "--to", "75", "--out-dir", "out"};
    for (const auto& [name, contents] : inputs) {
        std::filesystem::create_directories((dir.path() / name).parent_path());
        dir.write(name, contents);
        arguments.push_back(name);
    }
    ::setenv("TAVRIN_THREADS", threads, 1);
    const test::RunResult result = run_tool(dir, arguments);
    ::unsetenv("TAVRIN_THREADS");
    return result;
}

// One file after the other or several at once: the same outputs, the same lines in the order
// of the inputs. A long file among them spreads over threads, to the same bytes.
TEST(FileForm, OutDirConvertsEveryInputItCanAndTellsOfTheOthers) {
    std::string long_file = "# MHz S MA R 50\n";
    for (int i = 1; i <= 20000; ++i) {
        long_file += std::to_string(i) + " 0." + std::to_string(i % 97 + 1) + " 5 2 1 0 0 0.3 4\n";
    }
    std::vector<std::string> said_at_one, contents_at_one;
    for (const char* threads : {"1", "2", "4"}) {
        SCOPED_TRACE(threads);
        ScratchDir dir;
        // in2/also.s1p meets in/also.s1p at one output: it must not replace what that wrote.
        const auto result = convert_folder(
            dir, threads,
            {{"in/good.s3p", three_port}, {"in/long.s2p", long_file},
             {"in/bad.s3p", three_port.substr(0, three_port.size() - 4)},
             {"in/v2.ts", "[Version] 2.0\n# GHz S RI R 50\n[Number of Ports] 1\n1 0.2 0\n"},
             {"in/also.s1p", "# GHz S RI R 50\n1 0 0\n"},
             {"in2/also.s1p", "# GHz S RI R 50\n1 0.5 0\n"}});
        EXPECT_EQ(result.status, 1);
        const std::vector<std::string> said = tool_lines(result.printed);
        ASSERT_EQ(said.size(), 6u) << result.printed;
        // The folder and the name joined by the system's separator ('out\\good.s3p' on Windows).
        EXPECT_NE(said[0].find("good.s3p: 2 S-parameter records of 3 ports"), std::string::npos);
        EXPECT_NE(said[1].find("long.s2p: 20000 S-parameter records"), std::string::npos);
        EXPECT_NE(said[2].find("in/bad.s3p"), std::string::npos) << said[2];
        EXPECT_NE(said[3].find("v2.ts: 1 S-parameter record"), std::string::npos) << said[3];
        EXPECT_NE(said[5].find("an earlier input of this run"), std::string::npos) << said[5];
        // A matched 50-ohm load seen from 75 ohms: (50 - 75) / (50 + 75).
        EXPECT_EQ(dir.read("out/also.s1p"),
                  crlf_lines({"# GHZ S RI R 75", "1 -0.200000000  0.000000000"}));
        if (said_at_one.empty()) {
            // The outputs of the good ones beside y and its link, and no part file.
            EXPECT_EQ(files_in(dir), (std::vector<std::string>{
                                         "in", "in/also.s1p", "in/bad.s3p", "in/good.s3p",
                                         "in/long.s2p", "in/v2.ts", "in2", "in2/also.s1p", "out",
                                         "out/also.s1p", "out/good.s3p", "out/link.s1p",
                                         "out/long.s2p", "out/v2.ts", "out/y.s1p"}));
            said_at_one = said;
            contents_at_one = contents_of(dir);
            ASSERT_EQ(run_tool(dir, {"--to", "75", "in/good.s3p", "single.s3p"}).status, 0);
            EXPECT_EQ(dir.read("out/good.s3p"), dir.read("single.s3p"));
        } else {
            EXPECT_EQ(said, said_at_one);
            EXPECT_TRUE(contents_of(dir) == contents_at_one);
        }
    }
}

// An input whose output an earlier input wrote is refused; where the earlier one failed, the
// later one is written: the same at any thread count.
TEST(FileForm, OutDirCatchesTwoInputsOfOneOutputAtEveryThreadCount) {
    const std::string matched = "# GHz S RI R 50\n1 0 0\n", open = "# GHz S RI R 50\n1 1 0\n";
    // The first x is broken, so the second is written. link.s1p leads to what y wrote; X is
    // another name where letter case counts (not on Windows).
    std::vector<std::pair<std::string, std::string>> inputs = {
        {"a/x.s1p", "# GHz S RI R 50\n1 0\n"}, {"b/x.s1p", matched}, {"c/x.s1p", open},
        {"d/y.s1p", matched}, {"e/X.s1p", matched}, {"f/link.s1p", open}};
    // The more refused ones, the likelier a run that let them race would show it.
    for (const char* folder : {"g", "h", "i", "j"}) inputs.push_back({folder + "/x.s1p"s, open});
    const bool folds_case = test::tool_is_windows_build();
    const std::string converted = "# GHZ S RI R 75\r\n1 -0.200000000  0.000000000\r\n";
    for (const char* threads : {"1", "2", "4"}) {
        ScratchDir dir;
        const std::vector<std::string> said =
            tool_lines(convert_folder(dir, threads, inputs).printed);
        ASSERT_EQ(said.size(), inputs.size()) << threads;
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            const bool refused = i == 2 || i >= 5 || (i == 4 && folds_case);
            EXPECT_EQ(said[i].find("an earlier input") != std::string::npos, refused)
                << threads << ": " << said[i];
        }
        for (const char* name : {"out/x.s1p", "out/y.s1p", "out/link.s1p"}) {
            EXPECT_EQ(dir.read(name), converted) << threads << " " << name;
        }
        EXPECT_EQ(dir.exists("out/X.s1p"), !folds_case) << threads;
    }
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

// Mixed-mode data is written as such whatever the output's name: known from the header before
// the output is opened, also where the header runs past the first block read ahead.
TEST(MixedModeFiles, AreKnownByTheirHeaderHoweverLong) {
    ScratchDir dir;
    dir.write("se.s4p", two_lines);
    ASSERT_EQ(run_tool(dir, {"--to", "50", "--mixed-mode", "1,3:2,4", "se.s4p", "ch.ts"}).status, 0);
    const std::string mixed = dir.read("ch.ts");
    const std::string comments(100000, '!');  // one comment line of 100 kB
    dir.write("long.ts", "! " + comments + "\n" + mixed);
    for (const char* input : {"ch.ts", "long.ts"}) {
        ASSERT_EQ(run_tool(dir, {"--to", "50", input, "again.s4p"}).status, 0) << input;
        EXPECT_EQ(dir.read("again.s4p"), mixed) << input;
    }
}

}  // namespace
}  // namespace tavrin
