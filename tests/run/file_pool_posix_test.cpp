// End-to-end: the inputs of --out-dir converted several at once give what converting them one
// by one gives: the same bytes, the same -v lines in the order of the inputs, the same status,
// and two inputs of one output name caught as before.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e_support.hpp"

namespace tavrin {
namespace {

namespace fs = std::filesystem;
using test::run_tool;
using test::ScratchDir;

struct Input {
    std::string name;  // under the scratch folder
    std::string text;
};

struct FolderRun {
    int status;
    std::string said;  // the tool's own lines (under Wine, Wine adds its own)
    std::vector<std::string> outputs;  // every file in out/, name and bytes
};

FolderRun run_folder(const std::vector<Input>& inputs, const char* threads,
               const std::vector<std::string>& links = {}) {
    ScratchDir dir;
    fs::create_directory(dir.path() / "out");
    std::vector<std::string> arguments = {"-v", "--to", "75", "--out-dir", "out"};
    for (const Input& input : inputs) {
        fs::create_directories((dir.path() / input.name).parent_path());
        dir.write(input.name, input.text);
        arguments.push_back(input.name);
    }
    // out/NAME leading to out/y.s1p, which exists before the run.
    for (const std::string& link : links) {
        dir.write("out/y.s1p", "old");
        fs::create_symlink("y.s1p", dir.path() / "out" / link);
    }
    ::setenv("TAVRIN_THREADS", threads, 1);
    const test::RunResult result = run_tool(dir, arguments);
    ::unsetenv("TAVRIN_THREADS");
    FolderRun run{result.status, {}, {}};
    for (std::size_t at = 0; at < result.printed.size();) {
        const std::size_t end = std::min(result.printed.find('\n', at), result.printed.size());
        if (result.printed.compare(at, 8, "tavrin: ") == 0) {
            run.said += result.printed.substr(at, end + 1 - at);
        }
        at = end + 1;
    }
    for (const auto& entry : fs::directory_iterator(dir.path() / "out")) {
        const std::string name = entry.path().filename().string();
        run.outputs.push_back(name + ": " + dir.read("out/" + name));
    }
    std::sort(run.outputs.begin(), run.outputs.end());
    return run;
}

// A two-port file of n records in MA; long enough, its record loop spreads over threads.
std::string two_port_file(int n) {
    std::string text = "# MHz S MA R 50\n";
    for (int i = 1; i <= n; ++i) {
        const int k = i % 97;
        text += std::to_string(i) + " 0." + std::to_string(k + 1) + " " + std::to_string(k * 3) +
                " 2." + std::to_string(k) + " -" + std::to_string(k) + " 0.0" +
                std::to_string(k % 9) + " 10 0." + std::to_string(k % 7 + 1) + " 45\n";
    }
    return text;
}

TEST(FilePool, ABadFileAmongGoodOnesGivesTheSameOutputsAndLinesAtEveryThreadCount) {
    const std::string three_port = "# GHz S RI R 50\n1 0.1 0 0.2 0 0.3 0 0.2 0 0.1 0 0.4 0\n"
                                   " 0.3 0 0.4 0 0.1 0\n";
    const std::vector<Input> inputs = {
        {"a/load.s1p", "# MHz S RI R 50\n100 0 0\n200 0.5 0.1\n"},
        {"a/long.s2p", two_port_file(20000)},
        {"a/short.s3p", three_port.substr(0, three_port.size() - 6)},
        {"b/amp.s2p", two_port_file(40)},
        {"b/per_port.ts", "[Version] 2.0\n# GHz S RI R 50\n[Number of Ports] 1\n"
                          "[Network Data]\n1 0.2 0\n[End]\n"},
        {"b/three.s3p", three_port},
        {"b/unreadable.s2p", "# GHz S RI R 50\n1 0.1 0 0.2\n"},
        {"c/last.s1p", "# GHz S DB R 50\n1 -20 90\n"},
    };
    const FolderRun one = run_folder(inputs, "1");
    EXPECT_EQ(one.status, 1);
    // Only the good ones, and no part file beside them.
    ASSERT_EQ(one.outputs.size(), 6u) << one.said;
    // A matched 50-ohm load seen from 75 ohms: (50 - 75) / (50 + 75).
    EXPECT_EQ(one.outputs[2].rfind("load.s1p: # MHZ S RI R 75\r\n100 -0.200000000", 0), 0u);
    // One line per input, in their order, each naming its own.
    EXPECT_EQ(std::count(one.said.begin(), one.said.end(), '\n'), 8) << one.said;
    std::size_t at = 0;
    for (const Input& input : inputs) {
        const std::string name = fs::path(input.name).filename().string();
        at = one.said.find(name, at);
        ASSERT_NE(at, std::string::npos) << name << " in\n" << one.said;
        at = one.said.find('\n', at);
    }
    for (const char* threads : {"2", "4"}) {
        const FolderRun many = run_folder(inputs, threads);
        EXPECT_EQ(many.status, 1) << threads;
        EXPECT_EQ(many.said, one.said) << threads;
        EXPECT_TRUE(many.outputs == one.outputs) << threads;
    }
    // Each output as the file converted alone gives it.
    ScratchDir alone;
    alone.write("long.s2p", inputs[1].text);
    ASSERT_EQ(run_tool(alone, {"--to", "75", "long.s2p", "out.s2p"}).status, 0);
    EXPECT_EQ(one.outputs[3], "long.s2p: " + alone.read("out.s2p"));
}

TEST(FilePool, TwoInputsOfOneOutputNameAreCaughtAtEveryThreadCount) {
    const std::string matched = "# GHz S RI R 50\n1 0 0\n";
    const std::string open = "# GHz S RI R 50\n1 1 0\n";
    std::vector<Input> inputs = {
        {"a/x.s1p", "# GHz S RI R 50\n1 0\n"},  // broken: the later one is written
        {"b/x.s1p", matched},
        {"c/x.s1p", open},  // refused: b wrote it
        {"d/y.s1p", matched},
        {"e/X.s1p", matched},        // another name where letter case counts: not on Windows
        {"f/link.s1p", matched},     // out/link.s1p leads to what d wrote
    };
    // Refused too; the more there are, the likelier a run that let them race would show it.
    for (const char* folder : {"g", "h", "i", "j"}) inputs.push_back({folder + std::string("/x.s1p"), open});
    const std::string converted = "# GHZ S RI R 75\r\n1 -0.200000000  0.000000000\r\n";
    const bool folds_case = test::tool_is_windows_build();
    std::vector<std::string> outputs = {"link.s1p: " + converted, "x.s1p: " + converted,
                                        "y.s1p: " + converted};
    std::vector<std::size_t> refused = {2, 5, 6, 7, 8, 9};
    if (folds_case) {
        refused.insert(refused.begin() + 1, 4);
    } else {
        outputs.insert(outputs.begin(), "X.s1p: " + converted);
    }
    for (const char* threads : {"1", "2", "4"}) {
        const FolderRun run = run_folder(inputs, threads, {"link.s1p"});
        EXPECT_EQ(run.status, 1) << threads;
        EXPECT_EQ(run.outputs, outputs) << threads;
        std::vector<std::size_t> lines;
        for (std::size_t at = 0; (at = run.said.find("an earlier input", at)) != std::string::npos;
             ++at) {
            lines.push_back(std::count(run.said.begin(), run.said.begin() + at, '\n'));
        }
        EXPECT_EQ(lines, refused) << threads << run.said;
    }
}

}  // namespace
}  // namespace tavrin
