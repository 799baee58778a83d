// End-to-end: --verbose says why a run failed, naming the file and line, or what it did; the
// same runs without it print nothing and end with the same status and files.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e_support.hpp"

namespace tavrin {
namespace {

using test::run_tool;
using test::ScratchDir;

bool linux_build() { return !test::tool_is_windows_build(); }

const std::string record = "1 0.1 0.2 0.9 -0.1 0.05 0 0.3 -0.4\n";
const std::string plain = "# GHz S RI R 50\n" + record;
const std::string pair_record = "1 0.1 0.2 0.9 -0.1\n2 0.1 0.2 0.9 -0.1\n3 0.1 0.2 0.9 -0.1\n";

enum class Output { absent, empty };

struct VerboseCase {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files;  // name (without .s2p), contents
    std::vector<std::string> arguments;                       // after --verbose
    Output output;                                            // c.s2p afterwards
    std::vector<std::string> said;                            // parts of the line
    bool said_anyway = false;                                 // also without --verbose
};

std::vector<VerboseCase> failing_runs() {
    const std::string z = "! Port Impedance 50 0 50 0\n";
    return {
        {"output named as an input", {{"a", plain}}, {"a", "a", "a", "75"}, Output::absent,
         {"tavrin: a.s2p: ", "input's name"}},
        {"forward missing", {}, {"a", "a", "c", "75"}, Output::absent,
         {"cannot open a.s2p: " + std::string(std::strerror(ENOENT))}},
        {"reverse missing", {{"a", plain}}, {"a", "b", "c", "75"}, Output::absent,
         {"cannot open b.s2p"}},
        {"output is a folder", {{"a", plain}}, {"a", "a", "dir", "75"}, Output::absent,
         {"cannot create dir.s2p"}},
        {"impedance not a number", {{"a", plain}}, {"a", "a", "c", "x"}, Output::empty,
         {"'x'", "above 0"}},
        {"no option line", {{"a", "! only comments\n" + record}}, {"a", "a", "c", "75"},
         Output::empty, {"a.s2p: ", "no option line"}},
        {"impedance parameters", {{"a", "! z\n# GHz Z RI R 50\n" + record}}, {"a", "a", "c", "75"},
         Output::empty, {"a.s2p line 2: ", "Y, Z, H or G"}},
        {"a reference of 0", {{"a", "# GHz S RI R 0\n" + record}}, {"a", "a", "c", "75"},
         Output::empty, {"a.s2p line 1: ", "reference impedance 0 "}},
        {"a complex reference on the option line", {{"a", "# GHz S RI R (50+50j)\n" + record}},
         {"a", "a", "c", "75"}, Output::empty, {"a.s2p line 1: ", "impedance (50+50J) is not"}},
        {"three references", {{"a", "# GHz S RI R 50 75 100\n" + record}}, {"a", "a", "c", "75"},
         Output::empty, {"line 1: ", "more than two"}},
        {"three ports", {{"a", "# GHz S RI\n[Number of Ports] 3\n" + record}},
         {"a", "a", "c", "75"}, Output::empty, {"line 2: ", "two-port"}},
        {"a lower matrix", {{"a", "# GHz S RI\n[Matrix Format] Lower\n" + record}},
         {"a", "a", "c", "75"}, Output::empty, {"line 2: ", "Full"}},
        {"mixed-mode data", {{"a", "# GHz S RI\n[Mixed-Mode Order] D2,1\n" + record}},
         {"a", "a", "c", "75"}, Output::empty, {"line 2: ", "mixed-mode"}},
        {"an unknown pair order", {{"a", "# GHz S RI\n[Two-Port Data Order] 1221\n" + record}},
         {"a", "a", "c", "75"}, Output::empty, {"line 2: ", "data order"}},
        {"data not renormalized", {{"a", "! Data is not renormalized\n# GHz S RI\n" + record}},
         {"a", "a", "c", "75"}, Output::empty, {"a.s2p: ", "not renormalized"}},
        {"two files, two references", {{"f", "# MHz S RI R 50\n" + pair_record},
                                       {"r", "# MHz S RI R 75\n" + pair_record}},
         {"f", "r", "c", "75"}, Output::empty, {"r.s2p line 1: ", "75 ohms", "f.s2p is for 50"}},
        {"two files, a reference per port", {{"f", "# MHz S RI R 50 75\n" + pair_record},
                                             {"r", "# MHz S RI\n" + pair_record}},
         {"f", "r", "c", "75"}, Output::empty, {"f.s2p line 1: ", "per port"}},
        {"two files, port impedances", {{"f", "# MHz S RI\n" + record + z},
                                        {"r", "# MHz S RI\n" + record}},
         {"f", "r", "c", "75"}, Output::empty, {"f.s2p", "per frequency"}},
        {"a record without its port impedance",
         {{"a", "# GHz S RI\n" + record + z + "2" + record.substr(1)}}, {"a", "a", "c", "75"},
         Output::empty, {"a.s2p line 4: ", "no Port Impedance"}},
        {"port impedances power waves cannot use",
         {{"a", "# GHz S RI\n" + record + "! Port Impedance 0 29 50 0\n"}},
         {"--waves=power", "a", "a", "c", "75"}, Output::empty, {"a.s2p line 3: ", "0+j29 and 50+j0", "power waves"}},
        {"a reverse record missing", {{"f", "# MHz S RI\n" + pair_record},
                                      {"r", "# MHz S RI\n1 0 0 0 0\n2 0 0 0 0\n"}},
         {"f", "r", "c", "75"}, Output::empty, {"r.s2p: ", "frequency 3", "f.s2p line 4"}},
        {"a reverse record elsewhere", {{"f", "# MHz S RI\n" + pair_record},
                                        {"r", "# MHz S RI\n1 0 0 0 0\n2.5 0 0 0 0\n"}},
         {"f", "r", "c", "75"}, Output::empty, {"r.s2p line 3: ", "2.5", "f.s2p line 3 is at 2"}},
        // Truncated lines: the missing numbers are never invented, in either mode.
        {"a line of six numbers", {{"a", plain + "2 0.5 0 0.1 0.2 0.3 0\n"}},
         {"a", "a", "c", "75"}, Output::empty, {"a.s2p line 3: ", "frequency 2 ", "after 6 numbers"}},
        {"a line of three numbers", {{"a", plain + "2 0.5 0 0.1\n"}}, {"a", "a", "c", "75"},
         Output::empty, {"a.s2p line 3: ", "after 3 numbers"}},
        // A frequency alone is a record cut short, not the end of the data.
        {"a lone frequency before more records", {{"a", plain + "2\n3" + record.substr(1)}},
         {"a", "a", "c", "75"}, Output::empty, {"a.s2p line 3: ", "frequency 2 ", "after 0"}},
        {"a lone frequency at the end", {{"a", plain + "! last\n2.5"}}, {"a", "a", "c", "75"},
         Output::empty, {"a.s2p line 4: ", "frequency 2.5 ", "after 0"}},
        {"a reverse lone frequency", {{"f", "# MHz S RI\n" + pair_record},
                                      {"r", "# MHz S RI\n1 0 0 0 0\n2\n3 0 0 0 0\n"}},
         {"f", "r", "c", "75"}, Output::empty, {"r.s2p line 3: ", "frequency 2 "}},
        {"a reverse line of five numbers", {{"f", "# MHz S RI\n" + pair_record},
                                            {"r", "# MHz S RI\n1 0 0 0 0\n2 0 0 0 0 0\n3 0 0 0 0\n"}},
         {"f", "r", "c", "75"}, Output::empty, {"r.s2p line 3: ", "frequency 2 ", "after 5"}},
        // A command line that cannot be meant is refused in words even without --verbose.
        {"an unknown option", {{"a", plain}}, {"--loud", "a", "a", "c", "75"}, Output::absent,
         {"unknown option '--loud'", "--help"}, true},
        {"options and three arguments", {{"a", plain}}, {"--waves=power", "a", "a", "c"},
         Output::absent, {"got 3 arguments", "--help"}, true},
    };
}

TEST(Verbose, NamesTheCauseOfEveryFailureAndTheSameRunWithoutItIsSilent) {
    for (const VerboseCase& c : failing_runs()) {
        for (const bool verbose : {true, false}) {
            ScratchDir dir;
            for (const auto& [name, contents] : c.files) dir.write(name + ".s2p", contents);
            std::filesystem::create_directory(dir.path() / "dir.s2p");
            std::vector<std::string> arguments = c.arguments;
            if (verbose) arguments.insert(arguments.begin(), "-v");
            const auto result = run_tool(dir, arguments);
            const std::string label = std::string(c.name) + (verbose ? " (verbose)" : "");
            EXPECT_EQ(result.status, 1) << label;
            EXPECT_EQ(dir.exists("c.s2p"), c.output == Output::empty) << label;
            if (c.output == Output::empty) {
                EXPECT_EQ(dir.read("c.s2p"), "") << label;
            }
            for (const auto& [name, contents] : c.files) {
                EXPECT_EQ(dir.read(name + ".s2p"), contents) << label;
            }
            if (!linux_build()) continue;  // Wine adds its own chatter on standard error
            if (!verbose && !c.said_anyway) {
                EXPECT_EQ(result.printed, "") << label;
                continue;
            }
            EXPECT_EQ(result.printed.rfind("tavrin: ", 0), 0u) << label << ": " << result.printed;
            EXPECT_EQ(result.printed.find('\n'), result.printed.size() - 1) << label;
            for (const std::string& part : c.said) {
                EXPECT_NE(result.printed.find(part), std::string::npos)
                    << label << ": '" << part << "' not in " << result.printed;
            }
        }
    }
}

TEST(Verbose, AWriteThatFailsIsNamed) {
    if (!std::filesystem::exists("/dev/full") || !linux_build()) {
        GTEST_SKIP() << "needs /dev/full and the Linux build";
    }
    ScratchDir dir;
    dir.write("a.s2p", plain);
    std::filesystem::create_symlink("/dev/full", dir.path() / "full.s2p");
    const auto result = run_tool(dir, {"-v", "a", "a", "full", "75"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.printed.find("cannot write full.s2p: "), std::string::npos) << result.printed;
}

TEST(Verbose, SaysWhatWasDone) {
    struct Case {
        const char* name;
        std::string file;
        std::vector<std::string> options;
        std::string said;
    };
    const std::string noise = "1 0.5 0.3 25 0.2\n";
    const std::vector<Case> cases = {
        {"one reference", plain, {},
         "tavrin: wrote c.s2p: 1 S-parameter record, from 50 ohms to 75 ohms, RI\n"},
        {"noise lines",
         "# GHz S MA R 50\n" + record + "2" + record.substr(1) + "0.5" + noise.substr(1) + "1.5" +
             noise.substr(1),
         {},
         "tavrin: wrote c.s2p: 2 S-parameter records and 2 noise lines, from 50 ohms to 75 ohms, "
         "MA\n"},
        {"a noise block left out",
         "[Version] 2.0\n# GHz S RI R 50\n[Network Data]\n" + record + "[Noise Data]\n2" + noise.substr(1),
         {},
         "tavrin: wrote c.s2p: 1 S-parameter record, from 50 ohms to 75 ohms, RI; the [Noise Data] "
         "block, which starts above the last S-parameter frequency, is left out: a version 1 file "
         "cannot hold it\n"},
        {"a reference per port", "# GHz S DB R 50 60\n" + record, {},
         "tavrin: wrote c.s2p: 1 S-parameter record, from 50/60 ohms per port to 75 ohms, DB\n"},
        {"port impedances", "# GHz S RI\n" + record + "! Port Impedance 49.7 -0.1 375 3\n",
         {"--waves=pseudo"},
         "tavrin: wrote c.s2p: 1 S-parameter record, from port impedances per frequency, pseudo "
         "waves to 75 ohms, RI\n"},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        dir.write("a.s2p", c.file);
        std::vector<std::string> arguments = c.options;
        for (const char* argument : {"--verbose", "a", "a", "c", "75"}) arguments.emplace_back(argument);
        const auto result = run_tool(dir, arguments);
        EXPECT_EQ(result.status, 0) << c.name;
        if (linux_build()) {
            EXPECT_EQ(result.printed, c.said) << c.name;
        }
    }
}

}  // namespace
}  // namespace tavrin
