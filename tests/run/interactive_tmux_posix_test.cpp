// End-to-end in a real terminal: the tool run inside tmux, keys sent and the screen read back.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "run/terminal_support.hpp"

namespace tavrin {
namespace {

using test::ScratchDir;

const std::string amplifier = "! amplifier\n# GHz S MA R 50\n1.0 0.5 45 2.5 -30 0.05 10 0.4 -60\n"
                              "2.0 0.45 40 2.4 -50 0.06 5 0.35 -80\n";
constexpr int limit_ms = 10000;

bool tmux_available() { return test::run_command({"tmux", "-V"}, limit_ms).status == 0; }

// A tmux server of the test's own, one 80 x 24 session, gone afterwards. Its socket is in
// the test's scratch folder, so nothing is left behind and no other server is touched.
class Tmux {
public:
    explicit Tmux(const ScratchDir& dir) : socket_((dir.path() / "tmux.socket").string()) {}
    ~Tmux() { run({"kill-server"}); }
    Tmux(const Tmux&) = delete;
    Tmux& operator=(const Tmux&) = delete;

    test::CommandResult run(std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), {"tmux", "-S", socket_, "-f", "/dev/null"});
        return test::run_command(arguments, limit_ms);
    }
    bool start(const ScratchDir& dir, const std::string& script) const {
        return run({"new-session", "-d", "-x", "80", "-y", "24", "-c", dir.path().string(),
                    "sh -c '" + script + "'"})
                   .status == 0;
    }
    bool keys(const std::string& text) const {
        return run({"send-keys", "-l", text}).status == 0;
    }
    bool key(const std::string& name) const { return run({"send-keys", name}).status == 0; }
    std::vector<std::string> screen() const {
        const std::string text = run({"capture-pane", "-p"}).output;
        std::vector<std::string> rows;
        std::size_t start = 0;
        for (std::size_t end = text.find('\n'); end != std::string::npos;
             start = end + 1, end = text.find('\n', start)) {
            rows.push_back(text.substr(start, end - start));
        }
        rows.resize(24);
        return rows;
    }
    // Row 1 is the top row.
    std::string row(int row) const { return screen().at(static_cast<std::size_t>(row - 1)); }
    bool wait_for_screen(const std::string& text) const {
        const long until = test::monotonic_ms() + limit_ms;
        while (test::monotonic_ms() < until) {
            for (const std::string& row : screen()) {
                if (row.find(text) != std::string::npos) return true;
            }
            test::pause_ms(50);
        }
        return false;
    }
    // "x y visible" of the cursor, counted from 0.
    std::string cursor() const {
        std::string text = run({"display-message", "-p", "#{cursor_x} #{cursor_y} #{cursor_flag}"})
                               .output;
        if (!text.empty() && text.back() == '\n') text.pop_back();
        return text;
    }

private:
    std::string socket_;
};

bool wait_for_file(const ScratchDir& dir, const std::string& name) {
    const long until = test::monotonic_ms() + limit_ms;
    while (test::monotonic_ms() < until) {
        if (dir.exists(name) && !dir.read(name).empty()) return true;
        test::pause_ms(50);
    }
    return false;
}

class InTmux : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::tool_runs_in_a_terminal()) GTEST_SKIP() << "the tool under test runs under a runner";
        if (!tmux_available()) GTEST_SKIP() << "tmux is not installed";
        dir_.write("amp.s2p", amplifier);
        tool_ = test::private_tool(dir_);
    }
    // Old text on rows 1 to 23, the tool, then its status and the terminal's mode before and
    // after; the shell stays for the screen to be read. Ctrl+C and Ctrl+\ end the tool only.
    std::string script(const std::string& after = "") const {
        return "trap : INT QUIT; for c in A B C D E F G H I J K L M N O P Q R S T U V W; do "
               "printf \"%s\\n\" \"$(printf \"%060d\" 0 | tr 0 $c)\"; done; "
               "stty -g > mode.before; ./" +
               std::filesystem::path(tool_).filename().string() +
               "; echo $? > status.txt; stty -g > mode.after; " + after + "sleep 60";
    }
    std::string status() const {
        std::string text = dir_.read("status.txt");
        if (!text.empty() && text.back() == '\n') text.pop_back();
        return text;
    }
    static std::string old_row(char letter) { return std::string(60, letter); }
    static std::string bytes(std::initializer_list<unsigned char> list) {
        return std::string(list.begin(), list.end());
    }

    ScratchDir dir_;
    std::string tool_;
    Tmux tmux_{dir_};  // ends its server before the folder goes
};

TEST_F(InTmux, TheDialogueAsksAgainInPlaceAndTheRunCompletes) {
    const std::string settings = bytes({0x10, 0x00, 0x20, 0x00, 0xAA});
    dir_.write("tavrin.ini", settings);
    ASSERT_TRUE(tmux_.start(dir_, script()));
    ASSERT_TRUE(tmux_.wait_for_screen("Forward: "));
    const std::vector<std::string> answers = {"nofile", "amp", "", "", "amp", "out", "0"};
    const std::vector<std::string> prompts = {"", "Reverse: ", "Output: ", "", "", "Renormalized Z = ", ""};
    for (std::size_t i = 0; i < answers.size(); ++i) {
        if (!answers[i].empty()) {
            ASSERT_TRUE(tmux_.keys(answers[i]));
        }
        ASSERT_TRUE(tmux_.key("Enter"));
        if (!prompts[i].empty()) {
            ASSERT_TRUE(tmux_.wait_for_screen(prompts[i])) << i;
        }
    }
    test::pause_ms(300);
    ASSERT_TRUE(tmux_.keys("75"));
    ASSERT_TRUE(tmux_.wait_for_screen("Renormalized Z = 75"));
    // The console is the top-left 28 x 7; what it does not write over stays.
    const std::vector<std::string> rows = {
        "Enter filename without .s2p" + old_row('A').substr(27),
        old_row('B'),
        "Forward: amp" + std::string(15, ' ') + old_row('C').substr(27),
        "Reverse: amp" + old_row('D').substr(12),
        "Output: out" + std::string(16, ' ') + old_row('E').substr(27),
        "Renormalized Z = 75" + std::string(8, ' ') + old_row('F').substr(27),
        old_row('G'),
    };
    for (int row = 1; row <= 7; ++row) EXPECT_EQ(tmux_.row(row), rows[row - 1]) << row;
    EXPECT_EQ(tmux_.cursor(), "19 5 1");

    ASSERT_TRUE(tmux_.key("Enter"));
    ASSERT_TRUE(wait_for_file(dir_, "mode.after"));
    EXPECT_EQ(status(), "0");
    EXPECT_EQ(dir_.read("tavrin.ini"), settings);
    EXPECT_EQ(dir_.read("mode.after"), dir_.read("mode.before"));
    EXPECT_EQ(dir_.read("out.s2p").rfind("# GHZ S MA R 75\r\n", 0), 0u);
    EXPECT_FALSE(dir_.exists("nofile.s2p"));
}

TEST_F(InTmux, CtrlCEndsTheDialogueSavesThePositionAndLeavesTheTerminalNormal) {
    // Lines printed afterwards must scroll the whole screen, not rows 1 to 7 only.
    ASSERT_TRUE(tmux_.start(
        dir_, script("i=0; while [ $i -lt 30 ]; do echo line$i; i=$((i+1)); done; ")));
    ASSERT_TRUE(tmux_.wait_for_screen("Forward: "));
    ASSERT_TRUE(tmux_.keys("abc"));
    ASSERT_TRUE(tmux_.wait_for_screen("Forward: abc"));
    ASSERT_TRUE(tmux_.key("C-c"));
    ASSERT_TRUE(wait_for_file(dir_, "mode.after"));
    EXPECT_EQ(status(), "130");
    // A missing settings file was created and the default position, 768, 384, saved in it.
    EXPECT_EQ(dir_.read("tavrin.ini"), bytes({0x00, 0x03, 0x80, 0x01}));
    EXPECT_EQ(dir_.read("mode.after"), dir_.read("mode.before"));
    ASSERT_TRUE(tmux_.wait_for_screen("line29"));
    const std::vector<std::string> screen = tmux_.screen();
    EXPECT_EQ(screen.at(22), "line29");
    EXPECT_EQ(tmux_.cursor().substr(tmux_.cursor().size() - 1), "1");  // cursor shown
}

TEST_F(InTmux, ThePositionReadFromTheSettingsFileIsTheOneSavedAgain) {
    // tmux does not tell its window position, so the last known one is the one read: x = -8,
    // y = 100. Had the word been taken for no position, the default would be saved instead.
    dir_.write("tavrin.ini", bytes({0xF8, 0xFF, 0x64, 0x00}));
    ASSERT_TRUE(tmux_.start(dir_, script()));
    ASSERT_TRUE(tmux_.wait_for_screen("Forward: "));
    ASSERT_TRUE(tmux_.keys("amp"));
    ASSERT_TRUE(tmux_.key("Enter"));
    ASSERT_TRUE(tmux_.wait_for_screen("Reverse: "));
    ASSERT_TRUE(tmux_.key("C-\\"));
    ASSERT_TRUE(wait_for_file(dir_, "mode.after"));
    EXPECT_EQ(status(), "131");
    EXPECT_EQ(dir_.read("tavrin.ini"), bytes({0xF8, 0xFF, 0x64, 0x00}));
    EXPECT_EQ(dir_.read("mode.after"), dir_.read("mode.before"));
}

}  // namespace
}  // namespace tavrin
