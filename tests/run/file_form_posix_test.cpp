// End-to-end, POSIX: what the file form keeps when it replaces an output, and what a signal
// that ends a run leaves behind.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "e2e_support.hpp"

namespace tavrin {
namespace {

namespace fs = std::filesystem;
using test::run_tool;
using test::ScratchDir;

std::vector<std::string> names_in(const ScratchDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

const std::string one_port = "# GHz S RI R 50\n1 0.5 0\n";

TEST(FileFormReplacing, KeepsTheLinkAndThePermissionsOfTheOutput) {
    if (test::tool_is_windows_build()) GTEST_SKIP() << "links and modes are POSIX's";
    ScratchDir dir;
    dir.write("in.s1p", one_port);
    dir.write("kept.s1p", "old");
    fs::permissions(dir.path() / "kept.s1p", fs::perms::owner_read | fs::perms::owner_write |
                                                 fs::perms::group_read);
    fs::create_symlink("kept.s1p", dir.path() / "link.s1p");
    ASSERT_EQ(run_tool(dir, {"--to", "75", "in.s1p", "link.s1p"}).status, 0);
    ASSERT_EQ(run_tool(dir, {"--to", "75", "in.s1p", "plain.s1p"}).status, 0);
    EXPECT_TRUE(fs::is_symlink(dir.path() / "link.s1p"));
    EXPECT_EQ(dir.read("kept.s1p"), dir.read("plain.s1p"));
    EXPECT_EQ(fs::status(dir.path() / "kept.s1p").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(names_in(dir),
              (std::vector<std::string>{"in.s1p", "kept.s1p", "link.s1p", "plain.s1p"}));
}

// The tool started in dir, its streams on /dev/null.
pid_t start_tool(const ScratchDir& dir, const std::vector<std::string>& arguments) {
    std::vector<std::string> command = test::tool_command();
    command.insert(command.end(), arguments.begin(), arguments.end());
    const pid_t child = ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        if (null < 0 || ::chdir(dir.path().c_str()) != 0) ::_exit(126);
        for (const int fd : {0, 1, 2}) ::dup2(null, fd);
        std::vector<char*> argv;
        for (std::string& word : command) argv.push_back(word.data());
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    return child;
}

// The input is a pipe the test holds open, so the run is stopped while its output is a part
// file; the signal must take the part file with it and leave the old output as it was.
TEST(FileFormInterrupted, LeavesNoPartFileAndTheOldOutputUntouched) {
    if (test::tool_is_windows_build()) GTEST_SKIP() << "signals are POSIX's";
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        SCOPED_TRACE(signal_number);
        // A Touchstone 2.0 output has a spool file beside its part file, and --plot a part file
        // of its picture: with both, three files the signal must take.
        const bool version_2 = signal_number == SIGHUP || signal_number == SIGPIPE;
        const bool plot = signal_number == SIGTERM || signal_number == SIGPIPE;
        const std::string output = version_2 ? "out.ts" : "out.s1p";
        ScratchDir dir;
        ASSERT_EQ(::mkfifo(dir.file("in.s1p").c_str(), 0600), 0);
        dir.write(output, "keep");
        if (plot) dir.write(output + ".svg", "keep");
        std::vector<std::string> arguments = {"--to", "75", "in.s1p", output};
        if (plot) arguments.insert(arguments.begin(), "--plot");
        const pid_t child = start_tool(dir, arguments);
        ASSERT_GT(child, 0);
        // Not blocking: a run that never opens its input must fail the test, not hang it.
        int feed = -1;
        for (int wait = 0; wait < 1000 && feed < 0; ++wait) {
            feed = ::open(dir.file("in.s1p").c_str(), O_WRONLY | O_NONBLOCK);
            if (feed < 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (feed < 0) ::kill(child, SIGKILL);
        ASSERT_GE(feed, 0) << "the run never opened its input";
        ASSERT_EQ(::write(feed, one_port.data(), one_port.size()),
                  static_cast<ssize_t>(one_port.size()));
        bool part_seen = false;
        for (int wait = 0; wait < 1000 && !part_seen; ++wait) {
            part_seen = names_in(dir).size() == 3u + (version_2 ? 1u : 0u) + (plot ? 2u : 0u);
            if (!part_seen) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_TRUE(part_seen) << "no part file appeared";
        ::kill(child, signal_number);
        int wait_status = 0;
        ASSERT_EQ(::waitpid(child, &wait_status, 0), child);
        ::close(feed);
        EXPECT_TRUE(WIFSIGNALED(wait_status) && WTERMSIG(wait_status) == signal_number)
            << "wait status " << wait_status;
        std::vector<std::string> left = {"in.s1p", output};
        if (plot) left.push_back(output + ".svg");
        EXPECT_EQ(names_in(dir), left);
        EXPECT_EQ(dir.read(output), "keep");
        if (plot) {
            EXPECT_EQ(dir.read(output + ".svg"), "keep");
        }
    }
}

// An archive too large for one command line: xargs starts tavrin on batches of files, two at a
// time, and its own status 123 says that at least one of them ended with 1.
TEST(FileFormArchive, XargsConvertsEveryFileAsARunOfItsOwnWould) {
    if (test::tool_is_windows_build()) GTEST_SKIP() << "a POSIX shell pipeline";
    ScratchDir dir;
    fs::create_directories(dir.path() / "meas" / "a");
    fs::create_directories(dir.path() / "meas" / "b");
    fs::create_directory(dir.path() / "conv");
    std::vector<std::string> good;
    for (int i = 0; i < 9; ++i) {
        const std::string name = "load" + std::to_string(i) + ".s1p";
        good.push_back(name);
        dir.write(std::string("meas/") + (i % 2 != 0 ? "a/" : "b/") + name,
                  "# MHz S RI R 50\n100 0." + std::to_string(i) + " 0\n200 0 -0." +
                      std::to_string(i) + "\n");
    }
    dir.write("meas/a/broken.s1p", "# MHz S RI R 50\n100 0.5\n");
    std::string tool;
    for (const std::string& word : test::tool_command()) tool += "'" + word + "' ";
    const std::string command = "cd '" + dir.path().string() +
                                "' && find meas -name '*.s?p' -print0 | xargs -0 -n 3 -P 2 " +
                                tool + "-v --to 75 --out-dir conv 2>said";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 123);
    for (std::size_t i = 0; i < good.size(); ++i) {
        const std::string input = std::string("meas/") + (i % 2 != 0 ? "a/" : "b/") + good[i];
        ASSERT_EQ(run_tool(dir, {"--to", "75", input, "alone.s1p"}).status, 0) << input;
        EXPECT_EQ(dir.read("conv/" + good[i]), dir.read("alone.s1p")) << input;
    }
    // A matched load seen from 75 ohms reflects (50 - 75) / (50 + 75).
    EXPECT_NE(dir.read("conv/load0.s1p").find("100 -0.200000000  0.000000000"), std::string::npos);
    EXPECT_FALSE(dir.exists("conv/broken.s1p"));
    EXPECT_NE(dir.read("said").find("meas/a/broken.s1p line 2"), std::string::npos)
        << dir.read("said");
}

// Inputs under --out-dir are converted at once, each with its part file: a signal takes all.
TEST(FileFormInterrupted, ARunOfSeveralFilesAtOnceLeavesNoPartFile) {
    if (test::tool_is_windows_build()) GTEST_SKIP() << "signals are POSIX's";
    ScratchDir dir;
    fs::create_directory(dir.path() / "in");
    std::vector<std::string> arguments = {"--to", "75", "--out-dir", "."};
    for (const char* input : {"in/a.s1p", "in/b.s1p", "in/c.s1p", "in/d.ts"}) {
        ASSERT_EQ(::mkfifo(dir.file(input).c_str(), 0600), 0);
        arguments.push_back(input);
    }
    ::setenv("TAVRIN_THREADS", "4", 1);
    const pid_t child = start_tool(dir, arguments);
    ::unsetenv("TAVRIN_THREADS");
    // Each pipe fed once the run reads it; then the inputs' folder, four part files and the
    // spool of the Touchstone 2.0 output, for at most ten seconds.
    std::vector<int> feeds;
    for (int wait = 0; wait < 1000 && names_in(dir).size() < 6; ++wait) {
        for (std::size_t i = 4 + feeds.size(); i < arguments.size(); ++i) {
            const int feed = ::open(dir.file(arguments[i]).c_str(), O_WRONLY | O_NONBLOCK);
            if (feed < 0 || ::write(feed, one_port.data(), one_port.size()) < 0) break;
            feeds.push_back(feed);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(names_in(dir).size(), 6u) << "not every part file appeared";
    ::kill(child, SIGTERM);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    for (const int feed : feeds) ::close(feed);
    EXPECT_EQ(names_in(dir), (std::vector<std::string>{"in"}));
}

}  // namespace
}  // namespace tavrin
