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

// The tool started in dir with arguments, its streams on /dev/null.
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

// The writing end of the pipe at path, once the run has opened it for reading, with a one-port
// record in it; -1 when the run never opens it. Not blocking: a run that never opens its
// input must fail the test, not hang it.
int feed_pipe(const std::string& path) {
    int feed = -1;
    for (int wait = 0; wait < 1000 && feed < 0; ++wait) {
        feed = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
        if (feed < 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (feed >= 0 &&
        ::write(feed, one_port.data(), one_port.size()) != static_cast<ssize_t>(one_port.size())) {
        ::close(feed);
        return -1;
    }
    return feed;
}

// Waits until the folder holds `count` names: the run's part files have appeared.
bool names_reach(const ScratchDir& dir, std::size_t count) {
    for (int wait = 0; wait < 1000; ++wait) {
        if (names_in(dir).size() == count) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// The input is a pipe the test holds open, so the run is stopped while its output is a part
// file; the signal must take the part file with it and leave the old output as it was.
TEST(FileFormInterrupted, LeavesNoPartFileAndTheOldOutputUntouched) {
    if (test::tool_is_windows_build()) GTEST_SKIP() << "signals are POSIX's";
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        SCOPED_TRACE(signal_number);
        // A Touchstone 2.0 output has a spool file beside its part file.
        const bool version_2 = signal_number == SIGHUP || signal_number == SIGPIPE;
        const std::string output = version_2 ? "out.ts" : "out.s1p";
        ScratchDir dir;
        ASSERT_EQ(::mkfifo(dir.file("in.s1p").c_str(), 0600), 0);
        dir.write(output, "keep");
        const pid_t child = start_tool(dir, {"--to", "75", "in.s1p", output});
        ASSERT_GT(child, 0);
        const int feed = feed_pipe(dir.file("in.s1p"));
        if (feed < 0) ::kill(child, SIGKILL);
        ASSERT_GE(feed, 0) << "the run never opened its input";
        EXPECT_TRUE(names_reach(dir, version_2 ? 4u : 3u)) << "no part file appeared";
        ::kill(child, signal_number);
        int wait_status = 0;
        ASSERT_EQ(::waitpid(child, &wait_status, 0), child);
        ::close(feed);
        EXPECT_TRUE(WIFSIGNALED(wait_status) && WTERMSIG(wait_status) == signal_number)
            << "wait status " << wait_status;
        EXPECT_EQ(names_in(dir), (std::vector<std::string>{"in.s1p", output}));
        EXPECT_EQ(dir.read(output), "keep");
    }
}

// Several inputs under --out-dir, converted at once: each has its part file, and a signal
// takes them all.
TEST(FileFormInterrupted, ARunOfSeveralFilesAtOnceLeavesNoPartFile) {
    if (test::tool_is_windows_build()) GTEST_SKIP() << "signals are POSIX's";
    ScratchDir dir;
    fs::create_directory(dir.path() / "in");
    const std::vector<std::string> inputs = {"in/a.s1p", "in/b.s1p", "in/c.s1p", "in/d.ts"};
    std::vector<std::string> arguments = {"--to", "75", "--out-dir", "."};
    for (const std::string& input : inputs) {
        ASSERT_EQ(::mkfifo(dir.file(input).c_str(), 0600), 0);
        arguments.push_back(input);
    }
    ::setenv("TAVRIN_THREADS", "4", 1);
    const pid_t child = start_tool(dir, arguments);
    ::unsetenv("TAVRIN_THREADS");
    ASSERT_GT(child, 0);
    std::vector<int> feeds;
    for (const std::string& input : inputs) feeds.push_back(feed_pipe(dir.file(input)));
    // The folder of inputs, a part file for each and the spool of the Touchstone 2.0 one.
    EXPECT_TRUE(names_reach(dir, 1 + inputs.size() + 1)) << "not every part file appeared";
    ::kill(child, SIGTERM);
    int wait_status = 0;
    ASSERT_EQ(::waitpid(child, &wait_status, 0), child);
    for (const int feed : feeds) {
        EXPECT_GE(feed, 0) << "the run never opened an input";
        ::close(feed);
    }
    EXPECT_TRUE(WIFSIGNALED(wait_status) && WTERMSIG(wait_status) == SIGTERM);
    EXPECT_EQ(names_in(dir), (std::vector<std::string>{"in"}));
}

}  // namespace
}  // namespace tavrin
