// End-to-end: interactive mode with answers piped in, and on a terminal the test plays itself.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <termios.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "run/terminal_support.hpp"

namespace tavrin {
namespace {

using test::PtyRun;
using test::ScratchDir;

const std::string amplifier = "! amplifier\n# GHz S MA R 50\n1.0 0.5 45 2.5 -30 0.05 10 0.4 -60\n"
                              "2.0 0.45 40 2.4 -50 0.06 5 0.35 -80\n";

constexpr int limit_ms = 10000;

// The command-line run's output for the same inputs: what every interactive run must give.
std::string command_line_result(const std::string& reverse_contents, const std::string& z) {
    ScratchDir dir;
    dir.write("amp.s2p", amplifier);
    std::vector<std::string> arguments = {"amp", "amp", "cli", z};
    if (!reverse_contents.empty()) {
        dir.write("rev.s2p", reverse_contents);
        arguments[1] = "rev";
    }
    EXPECT_EQ(test::run_tool(dir, arguments).status, 0);
    return dir.read("cli.s2p");
}

// Runs the tool's private copy (so its settings file is the test's) with piped answers.
test::RunResult run_piped(const ScratchDir& dir, const std::string& answers) {
    const std::string copy = test::private_tool(dir);
    const char* before = std::getenv("TAVRIN_TEST_EXE");
    const std::string saved = before == nullptr ? "" : before;
    ::setenv("TAVRIN_TEST_EXE", copy.c_str(), 1);
    test::RunResult result = test::run_tool(dir, {}, answers);
    if (before == nullptr) ::unsetenv("TAVRIN_TEST_EXE");
    else ::setenv("TAVRIN_TEST_EXE", saved.c_str(), 1);
    return result;
}

TEST(PipedAnswers, ConvertAsTheCommandLineDoesWithoutAnyControlSequence) {
    struct PipedCase {
        const char* answers;
        const char* z;
    };
    // Rejected answers (a missing file, an empty or input output name, 0, nan) are skipped.
    const std::vector<PipedCase> cases = {
        {"amp,amp,out,75\n", "75"},
        {"nofile,amp,,,amp,out,0,nan,inf,75 ohm\n", "75"},
        {"amp\r\n\r\nout\r\n\"25\"", "25"},
    };
    for (const PipedCase& c : cases) {
        ScratchDir dir;
        dir.write("amp.s2p", amplifier);
        const auto result = run_piped(dir, c.answers);
        EXPECT_EQ(result.status, 0) << c.answers;
        EXPECT_EQ(dir.read("out.s2p"), command_line_result("", c.z)) << c.answers;
        EXPECT_EQ(result.printed.find('\x1b'), std::string::npos) << c.answers;
        EXPECT_EQ(result.printed.find("Forward"), std::string::npos) << c.answers;
        EXPECT_EQ(result.printed.rfind("Enter filename without .s2p", 0), 0u) << c.answers;
    }
}

TEST(PipedAnswers, AClosedStandardInputEndsTheRunWithStatusOneAtOnce) {
    // The input ends before the forward, reverse, output or impedance answer is accepted.
    for (const char* answers : {"", "amp\n", "amp,amp", "amp,amp,out\n", "amp,amp,out,0,-1\n"}) {
        ScratchDir dir;
        dir.write("amp.s2p", amplifier);
        const long start = test::monotonic_ms();
        const auto result = run_piped(dir, answers);
        EXPECT_EQ(result.status, 1) << answers;
        EXPECT_LT(test::monotonic_ms() - start, 5000) << answers;
        // The settings file is created, and never written by a run that ends by itself.
        EXPECT_EQ(dir.read("tavrin.ini"), "") << answers;
    }
}

class OnATerminal : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::tool_runs_in_a_terminal()) GTEST_SKIP() << "the tool under test runs under a runner (Wine, qemu-user), not on the terminal";
        dir_.write("amp.s2p", amplifier);
        tool_ = test::private_tool(dir_);
    }
    static bool same_mode(const termios& a, const termios& b) {
        return a.c_lflag == b.c_lflag && a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag &&
               a.c_cc[VMIN] == b.c_cc[VMIN] && a.c_cc[VTIME] == b.c_cc[VTIME];
    }
    static std::string bytes(std::initializer_list<unsigned char> list) {
        return std::string(list.begin(), list.end());
    }

    ScratchDir dir_;
    std::string tool_;
};

TEST_F(OnATerminal, SetsUpTheConsoleAndGivesTheTerminalBackAfterACompleteRun) {
    const std::string settings = bytes({0x10, 0x00, 0x64, 0x00, 0xAA, 0xBB});
    dir_.write("tavrin.ini", settings);
    PtyRun run(tool_, dir_);
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.wait_for("Forward: ", limit_ms)) << run.output();
    const std::string& out = run.output();
    EXPECT_NE(out.find("\x1b]0; \x07"), std::string::npos);     // title " "
    EXPECT_NE(out.find("\x1b[3;16;100t"), std::string::npos);    // window moved to 16, 100
    EXPECT_NE(out.find("\x1b[8;7;28t"), std::string::npos);      // asked for 28 x 7
    EXPECT_NE(out.find("\x1b[1;7r"), std::string::npos);         // rows 1 to 7 scroll
    EXPECT_NE(out.find("Enter filename without .s2p"), std::string::npos);
    // On the alternate screen, its rows wiped for terminals without one, before any text.
    EXPECT_LT(out.find("\x1b[?1049h"), out.find("\x1b[7;1H\x1b[2K"));
    EXPECT_LT(out.find("\x1b[7;1H\x1b[2K"), out.find("Enter filename without .s2p"));
    EXPECT_FALSE(same_mode(run.mode(), run.initial_mode()));

    run.type("amp\r");
    ASSERT_TRUE(run.wait_for("Reverse: ", limit_ms));
    run.type("\r");
    ASSERT_TRUE(run.wait_for("Output: ", limit_ms));
    run.type("out\r");
    ASSERT_TRUE(run.wait_for("Renormalized Z = ", limit_ms));
    const std::size_t last_prompt = run.output().size();
    run.type("75\r");
    const auto status = run.wait_end(limit_ms);
    ASSERT_TRUE(status.has_value());
    ASSERT_TRUE(WIFEXITED(*status));
    EXPECT_EQ(WEXITSTATUS(*status), 0);
    EXPECT_EQ(dir_.read("out.s2p"), command_line_result("", "75"));
    EXPECT_EQ(dir_.read("tavrin.ini"), settings);
    EXPECT_TRUE(same_mode(run.mode(), run.initial_mode()));
    // The scrolling region is reset, the title given back and the user's screen shown again.
    EXPECT_NE(run.output().find("\x1b[r", last_prompt), std::string::npos);
    EXPECT_NE(run.output().find("\x1b[23;0t", last_prompt), std::string::npos);
    EXPECT_NE(run.output().find("\x1b[?1049l", last_prompt), std::string::npos);
}

TEST_F(OnATerminal, ContinuedAfterAStopItCannotCatchItDrawsTheDialogueAgain) {
    PtyRun run(tool_, dir_);
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.wait_for("Forward: ", limit_ms));
    run.type("amp\r");
    ASSERT_TRUE(run.wait_for("Reverse: ", limit_ms));
    run.type("ab");
    run.drain(200);
    // Whatever was printed while it was stopped may cover the dialogue: it is drawn again,
    // row by row, with the cursor back after the typed text.
    const std::size_t stopped_at = run.output().size();
    run.send_signal(SIGSTOP);
    run.drain(100);
    run.send_signal(SIGCONT);
    ASSERT_TRUE(run.wait_for("\x1b[4;1H\x1b[2KReverse: ab\x1b[5;1H\x1b[2K", limit_ms, stopped_at))
        << run.output().substr(stopped_at);
    EXPECT_NE(run.output().find("Forward: amp", stopped_at), std::string::npos);
    EXPECT_NE(run.output().find("\x1b[4;12H", stopped_at), std::string::npos);
    run.type("\r\rout\r75\r");
    const auto status = run.wait_end(limit_ms);
    ASSERT_TRUE(status.has_value());
    ASSERT_TRUE(WIFEXITED(*status));
    EXPECT_EQ(WEXITSTATUS(*status), 0);
    EXPECT_EQ(dir_.read("out.s2p"), command_line_result("", "75"));
}

TEST_F(OnATerminal, EditingKeysArriveAsTheirSequences) {
    PtyRun run(tool_, dir_);
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.wait_for("Forward: ", limit_ms));
    run.drain(100);
    // "mp", Left, Left, "a", End, "x", DEL: amp.
    run.type("mp\x1b[D\x1b[Da\x1b[Fx\x7f\r");
    ASSERT_TRUE(run.wait_for("Reverse: ", limit_ms));
    // "zamp", Home, Delete: amp (single-file mode).
    run.type("zamp\x1b[1~\x1b[3~\r");
    ASSERT_TRUE(run.wait_for("Output: ", limit_ms));
    // "junk", a lone Escape that wipes it, then "out".
    run.type("junk");
    run.drain(150);
    run.type("\x1b");
    run.drain(300);
    run.type("out\r");
    ASSERT_TRUE(run.wait_for("Renormalized Z = ", limit_ms));
    // "5", Home (keypad form), "7", Right, Ctrl+H, "5", then a line feed: 75.
    run.type("5\x1bOH7\x1b[C\x08");
    run.drain(100);
    run.type("5\n");
    const auto status = run.wait_end(limit_ms);
    ASSERT_TRUE(status.has_value());
    ASSERT_TRUE(WIFEXITED(*status)) << run.output();
    EXPECT_EQ(WEXITSTATUS(*status), 0);
    EXPECT_EQ(dir_.read("out.s2p"), command_line_result("", "75"));
    EXPECT_FALSE(dir_.exists("junk.s2p"));
}

struct SignalCase {
    const char* name;
    std::string settings_before;  // empty: no settings file
    int report_x;                 // -1: the terminal does not tell its position
    int report_y;
    std::string settings_after;
    std::string move;  // the window move asked for at the start
};

TEST_F(OnATerminal, CtrlCSavesTheWindowPositionAndRestoresTheTerminal) {
    const std::vector<SignalCase> cases = {
        {"missing file, silent terminal", "", -1, 0, bytes({0x00, 0x03, 0x80, 0x01}),
         "\x1b[3;768;384t"},
        {"position reported", "", 200, 150, bytes({0xC8, 0x00, 0x96, 0x00}), "\x1b[3;768;384t"},
        // x = -8 cannot be asked of a terminal; the word read is what is saved again.
        {"-8, 100 read back", bytes({0xF8, 0xFF, 0x64, 0x00}), -1, 0,
         bytes({0xF8, 0xFF, 0x64, 0x00}), "\x1b[3;0;100t"},
        {"longer file", bytes({1, 2, 3, 4, 5, 6}), 300, 40, bytes({0x2C, 0x01, 0x28, 0x00, 5, 6}),
         "\x1b[3;513;1027t"},
    };
    for (const SignalCase& c : cases) {
        ScratchDir dir;
        dir.write("amp.s2p", amplifier);
        if (!c.settings_before.empty()) dir.write("tavrin.ini", c.settings_before);
        const std::string tool = test::private_tool(dir);
        PtyRun run(tool, dir);
        ASSERT_TRUE(run.started());
        if (c.report_x >= 0) run.answer_position_queries(c.report_x, c.report_y);
        ASSERT_TRUE(run.wait_for("Forward: ", limit_ms)) << c.name;
        run.type("ab");
        // Long enough for a position query to be asked and its answer read.
        run.drain(1200);
        if (c.report_x >= 0) {
            EXPECT_GT(run.answers_sent(), 0) << c.name;
        }
        run.type("\x03");
        const auto status = run.wait_end(limit_ms);
        ASSERT_TRUE(status.has_value()) << c.name;
        ASSERT_TRUE(WIFSIGNALED(*status)) << c.name;
        EXPECT_EQ(WTERMSIG(*status), SIGINT) << c.name;
        EXPECT_EQ(dir.read("tavrin.ini"), c.settings_after) << c.name;
        EXPECT_NE(run.output().find(c.move), std::string::npos) << c.name;
        EXPECT_TRUE(same_mode(run.mode(), run.initial_mode())) << c.name;
        // The reply is never taken for typed text.
        EXPECT_EQ(run.output().find(";150t"), std::string::npos) << c.name;
        EXPECT_EQ(run.output().find("Forward: ab3"), std::string::npos) << c.name;
    }
}

TEST_F(OnATerminal, QuitTerminationAndHangUpAlsoSaveThePosition) {
    struct EndCase {
        const char* name;
        int signal_number;
    };
    for (const EndCase& c : {EndCase{"Ctrl+\\", SIGQUIT}, EndCase{"SIGTERM", SIGTERM},
                             EndCase{"hang-up", SIGHUP}}) {
        ScratchDir dir;
        dir.write("amp.s2p", amplifier);
        const std::string tool = test::private_tool(dir);
        PtyRun run(tool, dir);
        ASSERT_TRUE(run.started());
        run.answer_position_queries(64, 32);
        ASSERT_TRUE(run.wait_for("Forward: ", limit_ms)) << c.name;
        run.type("amp\r");
        ASSERT_TRUE(run.wait_for("Reverse: ", limit_ms)) << c.name;
        run.drain(1200);
        if (c.signal_number == SIGQUIT) run.type("\x1c");
        // Sent by another process, as a system shutting down would.
        if (c.signal_number == SIGTERM) run.send_signal(SIGTERM);
        // The terminal goes away, as when its window is closed.
        if (c.signal_number == SIGHUP) run.hang_up();
        const auto status = run.wait_end(limit_ms);
        ASSERT_TRUE(status.has_value()) << c.name;
        ASSERT_TRUE(WIFSIGNALED(*status)) << c.name;
        EXPECT_EQ(WTERMSIG(*status), c.signal_number) << c.name;
        EXPECT_EQ(dir.read("tavrin.ini"), bytes({0x40, 0x00, 0x20, 0x00})) << c.name;
        if (c.signal_number != SIGHUP) {
            EXPECT_TRUE(same_mode(run.mode(), run.initial_mode())) << c.name;
        }
    }
}

}  // namespace
}  // namespace tavrin
