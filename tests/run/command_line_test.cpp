// End-to-end: the built tool run in a scratch folder, as an engineer would run it.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e_support.hpp"

namespace tavrin {
namespace {

using test::run_tool;
using test::ScratchDir;

const std::string ri_file =
    "! measured\n# GHz S RI R 50\n1.0E9 0.1 0.2 0.9 -0.1 0.05 0 0.3 -0.4\n";
const std::string ma_file = "# MHz S MA R 50\n2500 0.5 45 0.9 -30 0.05 10 0.4 -60\n";

bool linux_build() { return !test::tool_is_windows_build(); }

struct FailureCase {
    const char* name;
    std::vector<std::string> files;       // name=contents pairs, written before the run
    std::vector<std::string> arguments;
    bool output_exists;                   // afterwards: c.s2p exists (and is empty)
};

TEST(CommandLine, EveryFailureEndsWithStatusOneAndLeavesWhatTheTableSays) {
    const std::vector<FailureCase> cases = {
        {"output equals forward", {"a", "b"}, {"a", "b", "a", "50"}, false},
        {"output equals reverse", {"a", "b"}, {"a", "b", "b", "50"}, false},
        {"forward missing", {"b"}, {"a", "b", "c", "50"}, false},
        {"reverse missing", {"a"}, {"a", "b", "c", "50"}, false},
        {"output folder missing", {"a", "b"}, {"a", "b", "nowhere/c", "50"}, false},
        {"impedance 0", {"a", "b"}, {"a", "b", "c", "0"}, true},
        {"impedance negative", {"a", "b"}, {"a", "b", "c", "-5"}, true},
        {"impedance not a number", {"a", "b"}, {"a", "b", "c", "x"}, true},
        {"impedance nan", {"a", "b"}, {"a", "b", "c", "nan"}, true},
        {"impedance inf", {"a", "b"}, {"a", "b", "c", "inf"}, true},
        {"impedance 1e400", {"a", "b"}, {"a", "b", "c", "1e400"}, true},
        {"impedance empty", {"a", "b"}, {"a", "b", "c", ""}, true},
        {"forward has no option line", {"a=! x\n1 2 3\n", "b"}, {"a", "b", "c", "75"}, true},
        {"reverse has no option line", {"a", "b=1 2 3\n"}, {"a", "b", "c", "75"}, true},
        {"forward empty", {"a=", "b"}, {"a", "b", "c", "75"}, true},
        {"old impedance 0", {"a=# GHZ S RI R 0\n1 2 3\n"}, {"a", "a", "c", "75"}, true},
        {"old impedance negative", {"a=# GHZ S RI R -50\n"}, {"a", "a", "c", "75"}, true},
        {"old impedance complex", {"a=# GHZ S RI R (50+50j)\n"}, {"a", "a", "c", "75"}, true},
        {"old impedance infinite", {"a=# GHZ S RI R 1e999\n"}, {"a", "a", "c", "75"}, true},
    };
    for (const FailureCase& c : cases) {
        ScratchDir dir;
        for (const std::string& entry : c.files) {
            const std::size_t eq = entry.find('=');
            const std::string name = entry.substr(0, eq);
            dir.write(name + ".s2p", eq == std::string::npos ? ri_file : entry.substr(eq + 1));
        }
        const auto result = run_tool(dir, c.arguments);
        EXPECT_EQ(result.status, 1) << c.name;
        if (linux_build()) {
            EXPECT_EQ(result.printed, "") << c.name;
        }
        EXPECT_EQ(dir.exists("c.s2p"), c.output_exists) << c.name;
        if (c.output_exists) {
            EXPECT_EQ(dir.read("c.s2p"), "") << c.name;
        }
        // The inputs are never touched.
        for (const std::string& entry : c.files) {
            const std::size_t eq = entry.find('=');
            const std::string name = entry.substr(0, eq);
            EXPECT_EQ(dir.read(name + ".s2p"),
                      eq == std::string::npos ? ri_file : entry.substr(eq + 1))
                << c.name;
        }
    }
}

TEST(CommandLine, AnyOtherArgumentCountIsNotCommandLineMode) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"a", "a", "c"},
          std::vector<std::string>{"a", "a", "c", "75", "extra"}}) {
        ScratchDir dir;
        dir.write("a.s2p", ri_file);
        // With no answers on standard input the dialogue cannot complete.
        const auto result = run_tool(dir, arguments);
        EXPECT_EQ(result.status, 1);
        EXPECT_FALSE(dir.exists("c.s2p"));
    }
}

TEST(CommandLine, FourArgumentsRunSilentlyAndNeverOpenTheReverseInSingleFileMode) {
    ScratchDir dir;
    dir.write("a.s2p", ri_file);
    // A reverse name equal to the forward name is single-file mode: b.s2p is not needed.
    const auto result = run_tool(dir, {"a", "a", "c", "75ohm"});
    EXPECT_EQ(result.status, 0);
    if (linux_build()) {
        EXPECT_EQ(result.printed, "");
    }
    const std::string out = dir.read("c.s2p");
    EXPECT_EQ(out.substr(0, out.find("\r\n") + 2), "# GHZ S RI R 75\r\n");
}

TEST(CommandLine, NamesDifferingOnlyInCaseAreDifferentNames) {
    ScratchDir dir;
    dir.write("a.s2p", ri_file);
    // 'A' is another name: two-file mode, and A.s2p must then exist (on a case-sensitive
    // file system it does not). The Windows build, run under Wine, finds a.s2p by that name.
    const auto result = run_tool(dir, {"a", "A", "c", "75"});
    if (!linux_build() || std::filesystem::exists(dir.file("A.s2p"))) {
        EXPECT_EQ(result.status, 0);
    } else {
        EXPECT_EQ(result.status, 1);
        EXPECT_FALSE(dir.exists("c.s2p"));
    }
}

TEST(CommandLine, NamesAreBaseNamesAndNeverExamined) {
    ScratchDir dir;
    dir.write("a.s2p.s2p", ri_file);
    EXPECT_EQ(run_tool(dir, {"a.s2p", "a.s2p", "out", "75"}).status, 0);
    EXPECT_TRUE(dir.exists("out.s2p"));
}

TEST(CommandLine, TheReverseOptionLineWinsInTwoFileMode) {
    ScratchDir dir;
    dir.write("f.s2p", "# GHZ S RI R 50\n1 0.5 45 0.9 -30\n");
    dir.write("r.s2p", "! rev\n# GHZ S MA R 50 ! reverse\n1 0.4 -60 0.05 10\n");
    EXPECT_EQ(run_tool(dir, {"f", "r", "c", "25"}).status, 0);
    const std::string out = dir.read("c.s2p");
    EXPECT_EQ(out.substr(0, out.find("\r\n") + 2), "# GHZ S MA R 25\r\n");
}

// An output name that reaches an input under another form must not empty that input.
TEST(CommandLine, RefusesAnOutputThatIsAnInputUnderAnotherName) {
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        void (*prepare)(const ScratchDir&);
    };
    const std::vector<Case> cases = {
        {"a path to the forward file", {"a", "a", "./a", "75"}, [](const ScratchDir&) {}},
        {"a path to the reverse file", {"a", "b", "sub/../b", "75"},
         [](const ScratchDir& d) { std::filesystem::create_directory(d.path() / "sub"); }},
        {"a symbolic link to the forward file", {"a", "b", "link", "75"},
         [](const ScratchDir& d) { std::filesystem::create_symlink("a.s2p", d.path() / "link.s2p"); }},
        {"a hard link to the reverse file", {"a", "b", "hard", "75"},
         [](const ScratchDir& d) { std::filesystem::create_hard_link(d.path() / "b.s2p", d.path() / "hard.s2p"); }},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        dir.write("a.s2p", ri_file);
        dir.write("b.s2p", ma_file);
        c.prepare(dir);
        EXPECT_EQ(run_tool(dir, c.arguments).status, 1) << c.name;
        EXPECT_EQ(dir.read("a.s2p"), ri_file) << c.name;
        EXPECT_EQ(dir.read("b.s2p"), ma_file) << c.name;
    }
}

TEST(CommandLine, RefusesAnInputThatIsADirectoryBeforeCreatingTheOutput) {
    ScratchDir dir;
    std::filesystem::create_directory(dir.path() / "a.s2p");
    dir.write("b.s2p", ri_file);
    EXPECT_EQ(run_tool(dir, {"a", "b", "c", "75"}).status, 1);
    EXPECT_EQ(run_tool(dir, {"b", "a", "c", "75"}).status, 1);
    EXPECT_FALSE(dir.exists("c.s2p"));
}

TEST(CommandLine, AnOutputThatCannotBeWrittenInFullIsAFailure) {
    if (!std::filesystem::exists("/dev/full") || !linux_build()) {
        GTEST_SKIP() << "needs /dev/full and the Linux build";
    }
    ScratchDir dir;
    dir.write("a.s2p", ri_file);
    std::filesystem::create_symlink("/dev/full", dir.path() / "full.s2p");
    EXPECT_EQ(run_tool(dir, {"a", "a", "full", "75"}).status, 1);
}

TEST(CommandLine, ReadsEveryExampleFileToTheEnd) {
    const std::filesystem::path examples = TAVRIN_EXAMPLES_DIR;
    int runs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(examples)) {
        if (entry.path().extension() != ".s2p") continue;
        ScratchDir dir;
        std::filesystem::copy_file(entry.path(), dir.path() / "in.s2p");
        EXPECT_EQ(run_tool(dir, {"in", "in", "out", "75"}).status, 0) << entry.path();
        const std::string out = dir.read("out.s2p");
        EXPECT_EQ(out.rfind("# ", 0), 0u) << entry.path();
        ++runs;
    }
    EXPECT_GE(runs, 3);
}

}  // namespace
}  // namespace tavrin
