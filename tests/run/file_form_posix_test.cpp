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
        std::vector<std::string> command = test::tool_command();
        if (plot) command.push_back("--plot");
        command.insert(command.end(), {"--to", "75", "in.s1p", output});
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

}  // namespace
}  // namespace tavrin
