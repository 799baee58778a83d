// End-to-end in a real terminal: the tool run inside tmux, keys sent and the screen read back.
// The dialogue has a screen of its own: what the terminal showed before is neither mixed with
// it nor lost, however the dialogue ends, and the shell's next prompt starts a row of its own.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "run/terminal_support.hpp"

namespace tavrin {
namespace {

using test::ScratchDir;

const std::string amplifier = "! amplifier\n# GHz S MA R 50\n1.0 0.5 45 2.5 -30 0.05 10 0.4 -60\n"
                              "2.0 0.45 40 2.4 -50 0.06 5 0.35 -80\n";
constexpr int limit_ms = 10000;
constexpr int screen_rows = 24;

// A shell prompt, and how it shows (tmux drops the blanks at the end of a row).
const std::string prompt = "PROMPT> ";
const std::string prompt_shown = "PROMPT>";

bool tmux_available() { return test::run_command({"tmux", "-V"}, limit_ms).status == 0; }

std::string old_row(char letter) { return std::string(60, letter); }

std::string bytes(std::initializer_list<unsigned char> list) {
    return std::string(list.begin(), list.end());
}

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
    // The session's first window (":0", the one read back) runs command in dir.
    bool start(const ScratchDir& dir, const std::string& command) const {
        return run({"new-session", "-d", "-x", "80", "-y", "24", "-c", dir.path().string(),
                    command})
                   .status == 0;
    }
    bool keys(const std::string& text, const std::string& target = ":0") const {
        return run({"send-keys", "-t", target, "-l", text}).status == 0;
    }
    bool key(const std::string& name, const std::string& target = ":0") const {
        return run({"send-keys", "-t", target, name}).status == 0;
    }
    std::vector<std::string> screen() const {
        const std::string text = run({"capture-pane", "-p", "-t", ":0"}).output;
        std::vector<std::string> rows;
        std::size_t start = 0;
        for (std::size_t end = text.find('\n'); end != std::string::npos;
             start = end + 1, end = text.find('\n', start)) {
            rows.push_back(text.substr(start, end - start));
        }
        rows.resize(screen_rows);
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
    bool wait_for_row(int row_number, const std::string& text) const {
        const long until = test::monotonic_ms() + limit_ms;
        while (test::monotonic_ms() < until) {
            if (row(row_number) == text) return true;
            test::pause_ms(50);
        }
        return false;
    }
    // "x y visible" of the cursor, counted from 0.
    std::string cursor() const {
        std::string text =
            run({"display-message", "-p", "-t", ":0", "#{cursor_x} #{cursor_y} #{cursor_flag}"})
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

// One terminal session: a folder with the input file and a private copy of the tool, and
// the tmux server showing it.
class Session {
public:
    Session() {
        dir.write("amp.s2p", amplifier);
        tool_ = test::private_tool(dir);
    }
    // Old text on rows 1 to 23, the cursor on row 24; once the test opens the gate, the tool
    // (its standard input redirected as given), its status and the terminal's mode before and
    // after, and a shell prompt. Ctrl+C and Ctrl+\ end the tool only.
    std::string script(const std::string& redirect = "", const std::string& after = "") const {
        return "sh -c 'trap : INT QUIT; for c in A B C D E F G H I J K L M N O P Q R S T U V W; do "
               "printf \"%s\\n\" \"$(printf \"%060d\" 0 | tr 0 $c)\"; done; "
               "stty -g > mode.before; while [ ! -e gate ]; do sleep 0.05; done; ./" +
               tool_name() + redirect +
               "; echo $? > status.txt; stty -g > mode.after; printf \"" + prompt + "\"; " +
               after + "sleep 60'";
    }
    // Keeps the screen as it is once the old text shows, then lets the tool start.
    bool capture_before_and_open_gate(const std::string& gate = "x") {
        if (!tmux.wait_for_row(23, old_row('W'))) return false;
        before = tmux.screen();
        before_cursor = tmux.cursor();
        // Renamed into place, so that the script never reads it half-written.
        dir.write("gate.part", gate);
        std::filesystem::rename(dir.path() / "gate.part", dir.path() / "gate");
        return true;
    }
    // The screen as it was before the tool started, the prompt at column 1 of the cursor's
    // row then.
    std::vector<std::string> before_with_the_prompt() const {
        std::vector<std::string> expected = before;
        expected.at(23) = prompt_shown;
        return expected;
    }
    std::string status() const { return dir.read("status.txt"); }
    std::string tool_name() const { return std::filesystem::path(tool_).filename().string(); }

    ScratchDir dir;
    Tmux tmux{dir};  // ends its server before the folder goes
    std::vector<std::string> before;
    std::string before_cursor;

private:
    std::string tool_;
};

class InTmux : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::tool_runs_in_a_terminal()) GTEST_SKIP() << "the tool under test runs under a runner (Wine, qemu-user), not on the terminal";
        if (!tmux_available()) GTEST_SKIP() << "tmux is not installed";
    }
};

TEST_F(InTmux, TheDialogueAsksAgainInPlaceOnARegionOfItsOwnAndTheRunCompletes) {
    struct ScreenCase {
        const char* name;
        bool alternate_screen;  // false: a terminal that ignores the switch to it
    };
    for (const ScreenCase& c :
         {ScreenCase{"alternate screen", true}, ScreenCase{"no alternate screen", false}}) {
        Session session;
        const Tmux& tmux = session.tmux;
        const std::string settings = bytes({0x10, 0x00, 0x20, 0x00, 0xAA});
        session.dir.write("tavrin.ini", settings);
        ASSERT_TRUE(tmux.start(session.dir, session.script())) << c.name;
        if (!c.alternate_screen) {
            ASSERT_EQ(tmux.run({"set-window-option", "-t", ":0", "alternate-screen", "off"}).status, 0);
        }
        ASSERT_TRUE(session.capture_before_and_open_gate()) << c.name;
        ASSERT_EQ(session.before_cursor, "0 23 1") << c.name;
        ASSERT_TRUE(tmux.wait_for_screen("Forward:")) << c.name;
        const std::vector<std::string> answers = {"nofile", "amp", "", "", "amp", "out", "0"};
        const std::vector<std::string> prompts = {"", "Reverse:", "Output:", "", "", "Renormalized Z =", ""};
        for (std::size_t i = 0; i < answers.size(); ++i) {
            if (!answers[i].empty()) {
                ASSERT_TRUE(tmux.keys(answers[i])) << c.name;
            }
            ASSERT_TRUE(tmux.key("Enter")) << c.name;
            if (!prompts[i].empty()) {
                ASSERT_TRUE(tmux.wait_for_screen(prompts[i])) << c.name << " " << i;
            }
        }
        test::pause_ms(300);
        ASSERT_TRUE(tmux.keys("75")) << c.name;
        ASSERT_TRUE(tmux.wait_for_screen("Renormalized Z = 75")) << c.name;
        // Rows 1 to 7 hold the dialogue alone; with the alternate screen nothing else shows,
        // without it the old text below them stays.
        std::vector<std::string> during = {"Enter filename without .s2p", "", "Forward: amp",
                                           "Reverse: amp", "Output: out", "Renormalized Z = 75", ""};
        for (int row = 8; row <= screen_rows; ++row) {
            during.push_back(c.alternate_screen ? "" : session.before.at(row - 1));
        }
        EXPECT_EQ(tmux.screen(), during) << c.name;
        EXPECT_EQ(tmux.cursor(), "19 5 1") << c.name;

        ASSERT_TRUE(tmux.key("Enter")) << c.name;
        ASSERT_TRUE(wait_for_file(session.dir, "mode.after")) << c.name;
        EXPECT_EQ(session.status(), "0\n") << c.name;
        EXPECT_EQ(session.dir.read("tavrin.ini"), settings) << c.name;
        EXPECT_EQ(session.dir.read("mode.after"), session.dir.read("mode.before")) << c.name;
        EXPECT_EQ(session.dir.read("out.s2p").rfind("# GHZ S MA R 75\r\n", 0), 0u) << c.name;
        EXPECT_FALSE(session.dir.exists("nofile.s2p")) << c.name;
        // The prompt starts at column 1 of a row of its own: with the alternate screen the
        // user's screen is back as it was; without it, the prompt goes below the dialogue.
        std::vector<std::string> after = session.before_with_the_prompt();
        int prompt_row = screen_rows;
        if (!c.alternate_screen) {
            after = during;
            prompt_row = 8;
            after.at(prompt_row - 1) = prompt_shown;
        }
        ASSERT_TRUE(tmux.wait_for_row(prompt_row, prompt_shown)) << c.name;
        EXPECT_EQ(tmux.screen(), after) << c.name;
        EXPECT_EQ(tmux.cursor(), std::to_string(prompt.size()) + " " +
                                     std::to_string(prompt_row - 1) + " 1")
            << c.name;
    }
}

TEST_F(InTmux, CtrlCSavesThePositionAndGivesBackTheScreenAndTheTerminal) {
    Session session;
    const Tmux& tmux = session.tmux;
    // Lines printed afterwards must scroll the whole screen, not rows 1 to 7 only.
    ASSERT_TRUE(tmux.start(session.dir,
                           session.script("", "while [ ! -e more ]; do sleep 0.05; done; i=0; "
                                              "while [ $i -lt 30 ]; do echo line$i; i=$((i+1)); done; ")));
    ASSERT_TRUE(session.capture_before_and_open_gate());
    ASSERT_TRUE(tmux.wait_for_screen("Forward:"));
    ASSERT_TRUE(tmux.keys("abc"));
    ASSERT_TRUE(tmux.wait_for_screen("Forward: abc"));
    ASSERT_TRUE(tmux.key("C-c"));
    ASSERT_TRUE(wait_for_file(session.dir, "mode.after"));
    EXPECT_EQ(session.status(), "130\n");
    // A missing settings file was created and the default position, 768, 384, saved in it.
    EXPECT_EQ(session.dir.read("tavrin.ini"), bytes({0x00, 0x03, 0x80, 0x01}));
    EXPECT_EQ(session.dir.read("mode.after"), session.dir.read("mode.before"));
    ASSERT_TRUE(tmux.wait_for_row(screen_rows, prompt_shown));
    EXPECT_EQ(tmux.screen(), session.before_with_the_prompt());
    EXPECT_EQ(tmux.cursor(), std::to_string(prompt.size()) + " 23 1");

    session.dir.write("more", "x");
    ASSERT_TRUE(tmux.wait_for_screen("line29"));
    EXPECT_EQ(tmux.row(23), "line29");
    EXPECT_EQ(tmux.cursor(), "0 23 1");
}

TEST_F(InTmux, TheEndOfTheKeyboardsInputGivesBackTheScreen) {
    // The keys come from the terminal of a second window; closing that window ends the input
    // while the dialogue still shows on the first.
    Session session;
    const Tmux& tmux = session.tmux;
    ASSERT_TRUE(tmux.start(session.dir, session.script(" < \"$(cat gate)\"")));
    ASSERT_EQ(tmux.run({"new-window", "-d", "-t", ":1", "sleep 60"}).status, 0);
    std::string keyboard = tmux.run({"display-message", "-p", "-t", ":1", "#{pane_tty}"}).output;
    if (!keyboard.empty() && keyboard.back() == '\n') keyboard.pop_back();
    ASSERT_FALSE(keyboard.empty());
    ASSERT_TRUE(session.capture_before_and_open_gate(keyboard));
    ASSERT_TRUE(tmux.wait_for_screen("Forward:"));
    ASSERT_TRUE(tmux.keys("amp", ":1"));
    ASSERT_TRUE(tmux.key("Enter", ":1"));
    ASSERT_TRUE(tmux.wait_for_screen("Reverse:"));
    ASSERT_TRUE(tmux.keys("ab", ":1"));
    ASSERT_TRUE(tmux.wait_for_screen("Reverse: ab"));
    ASSERT_EQ(tmux.run({"kill-window", "-t", ":1"}).status, 0);
    ASSERT_TRUE(wait_for_file(session.dir, "mode.after"));
    EXPECT_EQ(session.status(), "1\n");
    ASSERT_TRUE(tmux.wait_for_row(screen_rows, prompt_shown));
    EXPECT_EQ(tmux.screen(), session.before_with_the_prompt());
    EXPECT_EQ(tmux.cursor(), std::to_string(prompt.size()) + " 23 1");
    // A run that ends by itself never writes the settings file.
    EXPECT_EQ(session.dir.read("tavrin.ini"), "");
}

TEST_F(InTmux, StoppedTheScreenIsTheShellsAndContinuedTheDialogueComesBackAsItWas) {
    // An interactive shell with job control: Ctrl+Z stops the tool and fg continues it.
    Session session;
    const Tmux& tmux = session.tmux;
    ASSERT_TRUE(tmux.start(session.dir,
                           "sh -c 'for c in A B C; do echo $c$c$c; done; exec env PS1=\"" + prompt +
                               "\" HISTFILE=/dev/null bash --norc --noprofile -i'"));
    ASSERT_TRUE(tmux.wait_for_row(4, prompt_shown));
    ASSERT_TRUE(tmux.keys("./" + session.tool_name()));
    ASSERT_TRUE(tmux.wait_for_screen(prompt + "./"));
    const std::vector<std::string> before = tmux.screen();
    ASSERT_TRUE(tmux.key("Enter"));
    ASSERT_TRUE(tmux.wait_for_screen("Forward:"));
    ASSERT_TRUE(tmux.keys("amp"));
    ASSERT_TRUE(tmux.key("Enter"));
    ASSERT_TRUE(tmux.wait_for_screen("Reverse:"));
    ASSERT_TRUE(tmux.keys("xy"));
    ASSERT_TRUE(tmux.wait_for_screen("Reverse: xy"));
    std::vector<std::string> dialogue = tmux.screen();
    const std::string dialogue_cursor = tmux.cursor();
    EXPECT_EQ(dialogue_cursor, "11 3 1");

    ASSERT_TRUE(tmux.key("C-z"));
    ASSERT_TRUE(tmux.wait_for_screen("Stopped"));
    // The shell's screen, with the shell's own lines after the command, and nothing of the
    // dialogue.
    std::vector<std::string> stopped = tmux.screen();
    for (int row = 1; row <= 4; ++row) EXPECT_EQ(stopped.at(row - 1), before.at(row - 1)) << row;
    for (const std::string& row : stopped) {
        EXPECT_EQ(row.find("Enter filename"), std::string::npos) << row;
        EXPECT_EQ(row.find("Forward:"), std::string::npos) << row;
    }

    ASSERT_TRUE(tmux.keys("fg"));
    ASSERT_TRUE(tmux.key("Enter"));
    ASSERT_TRUE(tmux.wait_for_screen("Forward: amp"));
    EXPECT_EQ(tmux.screen(), dialogue);
    EXPECT_EQ(tmux.cursor(), dialogue_cursor);
    // The keyboard is the dialogue's again: xy is refused, then the run completes.
    for (const std::string answer : {"", "", "out", "75"}) {
        if (!answer.empty()) {
            ASSERT_TRUE(tmux.keys(answer));
        }
        ASSERT_TRUE(tmux.key("Enter"));
        test::pause_ms(200);
    }
    ASSERT_TRUE(wait_for_file(session.dir, "out.s2p"));
    // Back at the shell: its screen as before, the fg lines, and the next prompt at column 1.
    ASSERT_TRUE(tmux.wait_for_row(9, prompt_shown));
    const std::vector<std::string> after = tmux.screen();
    for (int row = 1; row <= 4; ++row) EXPECT_EQ(after.at(row - 1), before.at(row - 1)) << row;
    EXPECT_EQ(after.at(6), prompt + "fg");
    EXPECT_EQ(tmux.cursor(), std::to_string(prompt.size()) + " 8 1");
    for (const std::string& row : after) EXPECT_EQ(row.find("Forward:"), std::string::npos) << row;
    EXPECT_EQ(session.dir.read("out.s2p").rfind("# GHZ S MA R 75\r\n", 0), 0u);
}

TEST_F(InTmux, ThePositionReadFromTheSettingsFileIsTheOneSavedAgain) {
    // tmux does not tell its window position, so the last known one is the one read: x = -8,
    // y = 100. Had the word been taken for no position, the default would be saved instead.
    Session session;
    const Tmux& tmux = session.tmux;
    session.dir.write("tavrin.ini", bytes({0xF8, 0xFF, 0x64, 0x00}));
    ASSERT_TRUE(tmux.start(session.dir, session.script()));
    ASSERT_TRUE(session.capture_before_and_open_gate());
    ASSERT_TRUE(tmux.wait_for_screen("Forward:"));
    ASSERT_TRUE(tmux.keys("amp"));
    ASSERT_TRUE(tmux.key("Enter"));
    ASSERT_TRUE(tmux.wait_for_screen("Reverse:"));
    ASSERT_TRUE(tmux.key("C-\\"));
    ASSERT_TRUE(wait_for_file(session.dir, "mode.after"));
    EXPECT_EQ(session.status(), "131\n");
    EXPECT_EQ(session.dir.read("tavrin.ini"), bytes({0xF8, 0xFF, 0x64, 0x00}));
    EXPECT_EQ(session.dir.read("mode.after"), session.dir.read("mode.before"));
}

}  // namespace
}  // namespace tavrin
