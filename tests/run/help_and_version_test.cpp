// End-to-end: --help, -h, --version and -V, alone or among other options, and argument lists
// without options still opening the dialogue.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "run/terminal_support.hpp"

namespace tavrin {
namespace {

using test::ScratchDir;

const std::string amplifier = "# GHz S RI R 50\n1.0 0.1 0.2 0.9 -0.1 0.05 0 0.3 -0.4\n";
// Enough for a whole dialogue: a run that wrongly opened it would convert amp.s2p into out.s2p.
const std::string answers = "amp,amp,out,75\n";

struct Printed {
    int status = -1;
    std::string out;  // standard output, without the CRs a Windows build adds
    std::string err;
};

std::string without_cr(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

// Runs tool in dir with the answers on standard input, standard output and standard error
// kept apart; standard output goes to out_path when one is given.
Printed run_apart(const ScratchDir& dir, const std::string& tool,
                  const std::vector<std::string>& arguments, const std::string& out_path = "") {
    std::vector<std::string> command = test::tool_command();
    command.back() = tool;
    command.insert(command.end(), arguments.begin(), arguments.end());
    // Kept outside dir, so that dir holds only what the tool itself created.
    const std::string base = dir.path().string();
    const std::string in_path = base + ".in", stdout_path = base + ".out", err_path = base + ".err";
    {
        std::ofstream in(in_path, std::ios::binary);
        in << answers;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        if (::chdir(dir.path().c_str()) != 0) ::_exit(126);
        const int in = ::open(in_path.c_str(), O_RDONLY);
        const int out = ::open((out_path.empty() ? stdout_path : out_path).c_str(),
                               O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0) ::_exit(126);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        std::vector<char*> argv;
        for (std::string& word : command) argv.push_back(word.data());
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    Printed printed;
    int wait_status = 0;
    if (child > 0 && ::waitpid(child, &wait_status, 0) == child && WIFEXITED(wait_status)) {
        printed.status = WEXITSTATUS(wait_status);
    }
    auto slurp = [](const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        std::ostringstream all;
        all << file.rdbuf();
        return all.str();
    };
    printed.out = without_cr(slurp(stdout_path));
    printed.err = slurp(err_path);
    for (const std::string& path : {in_path, stdout_path, err_path}) std::remove(path.c_str());
    return printed;
}

std::vector<std::string> names_in(const ScratchDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(HelpAndVersion, AreAnsweredOnStandardOutputAndNothingElseHappens) {
    const std::string version_line = std::string("tavrin ") + TAVRIN_VERSION + "\n";
    std::string help_text;
    for (const char* argument : {"--help", "-h", "--version", "-V"}) {
        ScratchDir dir;
        dir.write("amp.s2p", amplifier);
        // A private copy: a settings file created beside it would show up in dir.
        const std::string tool = test::private_tool(dir);
        const std::vector<std::string> before = names_in(dir);
        const Printed printed = run_apart(dir, tool, {argument});
        EXPECT_EQ(printed.status, 0) << argument;
        EXPECT_EQ(printed.err, "") << argument;
        EXPECT_EQ(names_in(dir), before) << argument;
        const std::string name = argument;
        if (name == "--version" || name == "-V") {
            EXPECT_EQ(printed.out, version_line) << argument;
            continue;
        }
        if (help_text.empty()) help_text = printed.out;
        EXPECT_EQ(printed.out, help_text) << argument;
        EXPECT_EQ(printed.out.rfind("Usage: tavrin [OPTION...] --to IMPEDANCE INPUT OUTPUT\n", 0),
                  0u);
        for (const char* part : {"Single-file mode", "Two-file mode", "Exit status: 0", "1  any failure",
                                 test::tool_is_windows_build() ? "README.md" : "man tavrin"}) {
            EXPECT_NE(printed.out.find(part), std::string::npos) << argument << ": " << part;
        }
    }
}

TEST(HelpAndVersion, AnAnswerThatCannotBeWrittenIsAFailure) {
    if (!std::filesystem::exists("/dev/full") || test::tool_is_windows_build()) {
        GTEST_SKIP() << "needs /dev/full and the Linux build";
    }
    for (const char* argument : {"--help", "--version"}) {
        ScratchDir dir;
        const Printed printed = run_apart(dir, test::private_tool(dir), {argument}, "/dev/full");
        EXPECT_EQ(printed.status, 1) << argument;
    }
}

TEST(HelpAndVersion, AnyArgumentListWithoutOptionsStillOpensTheDialogue) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"help"}, std::vector<std::string>{"amp", "-v"},
          std::vector<std::string>{"amp", "amp", "out", "75", "-v"}}) {
        ScratchDir dir;
        dir.write("amp.s2p", amplifier);
        const auto result = test::run_tool(dir, arguments, answers);
        EXPECT_EQ(result.status, 0) << arguments[0];
        EXPECT_EQ(without_cr(result.printed).rfind("Enter filename without .s2p", 0), 0u)
            << arguments[0];
        EXPECT_EQ(dir.read("out.s2p").rfind("# GHZ S RI R 75\r\n", 0), 0u) << arguments[0];
    }
}

TEST(HelpAndVersion, HelpOrVersionAmongOptionsIsAnsweredWhateverElseIsGiven) {
    const std::string version_line = std::string("tavrin ") + TAVRIN_VERSION + "\n";
    struct Case {
        std::vector<std::string> arguments;
        bool version;
    };
    for (const Case& c : {Case{{"-v", "--help"}, false}, Case{{"--help", "a", "b", "c", "75"}, false},
                          Case{{"--bogus", "-h"}, false}, Case{{"-V", "x", "y"}, true},
                          Case{{"--verbose", "--version", "a", "a", "out", "75"}, true}}) {
        ScratchDir dir;
        dir.write("amp.s2p", amplifier);
        const std::string tool = test::private_tool(dir);
        const std::vector<std::string> before = names_in(dir);
        const Printed printed = run_apart(dir, tool, c.arguments);
        EXPECT_EQ(printed.status, 0) << c.arguments[0];
        EXPECT_EQ(printed.err, "") << c.arguments[0];
        EXPECT_EQ(names_in(dir), before) << c.arguments[0];
        if (c.version) {
            EXPECT_EQ(printed.out, version_line) << c.arguments[0];
        } else {
            EXPECT_EQ(printed.out.rfind("Usage: tavrin [OPTION...] --to IMPEDANCE INPUT OUTPUT\n", 0),
                  0u);
        }
    }
}

}  // namespace
}  // namespace tavrin
