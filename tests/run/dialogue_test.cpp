#include "run/dialogue.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e_support.hpp"
#include "fake_console.hpp"
#include "run/console_window.hpp"

namespace tavrin {
namespace {

using test::FakeConsole;
using test::ScratchDir;

const std::string option_line = "# GHZ S RI R 50\n";

// Runs each test inside its own scratch folder, where the answers' files live.
class Dialogue : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_.path());
        dir_.write("a.s2p", option_line);
        dir_.write("b.s2p", option_line);
    }
    void TearDown() override { std::filesystem::current_path(previous_); }

    // The set-up takes one pending keystroke away before the first question.
    void script(FakeConsole& console, const std::vector<std::string>& lines) {
        console.type("z");
        for (const std::string& line : lines) console.type(line + "\r");
    }

    bool run(FakeConsole& console) { return run_dialogue(console, slots_, inputs_, settings()); }
    std::string settings() const { return dir_.file("tavrin.ini"); }

    ScratchDir dir_;
    FileSlots slots_;
    RunInputs inputs_;

private:
    std::filesystem::path previous_;
};

TEST_F(Dialogue, SetsUpTheConsoleThenAsksTheFourQuestionsOnTheirRows) {
    FakeConsole console;
    script(console, {"a", "b", "c", "75"});
    ASSERT_TRUE(run(console));
    const std::vector<std::string> setup = {"title ' '",        "prepare input",   "move window",
                                            "lock window size", "control handler", "size 28 x 7"};
    EXPECT_EQ(console.calls(), setup);
    const std::vector<std::string> rows = {"Enter filename without .s2p",
                                           "",
                                           "Forward: a",
                                           "Reverse: b",
                                           "Output: c",
                                           "Renormalized Z = 75",
                                           ""};
    for (int row = 1; row <= 7; ++row) EXPECT_EQ(console.text_of_row(row), rows[row - 1]) << row;
    // No line end after the last answer: the cursor stays right after it.
    EXPECT_EQ(console.cursor().row, 6);
    EXPECT_EQ(console.cursor().column, 20);
    EXPECT_EQ(inputs_.forward_name, "a");
    EXPECT_EQ(inputs_.reverse_name, "b");
    EXPECT_EQ(inputs_.output_name, "c");
    EXPECT_EQ(inputs_.z_new, 75.0);
    EXPECT_FALSE(inputs_.single_file);
    EXPECT_TRUE(slots_.forward.is_open());
    EXPECT_TRUE(slots_.reverse.is_open());
    EXPECT_TRUE(slots_.output.is_open());
    EXPECT_TRUE(slots_.settings.is_open());
    EXPECT_TRUE(dir_.exists("c.s2p"));
}

TEST_F(Dialogue, WipesARejectedAnswerInPlaceAndKeepsTextItDoesNotWriteOver) {
    // The screen already shows text: '#' in every cell.
    FakeConsole console(28, 7, '#');
    script(console, {"nofile", "a", "", "", "a", "c", "0", "nan", "75 ohm"});
    ASSERT_TRUE(run(console));
    EXPECT_EQ(console.row(1), "Enter filename without .s2p#");
    EXPECT_EQ(console.row(2), std::string(28, '#'));
    // Wiped rows are blank in columns 1 to 27; column 28 is never wiped.
    EXPECT_EQ(console.row(3), "Forward: a" + std::string(17, ' ') + "#");
    // An empty reverse answer: the forward name is written after the prompt.
    EXPECT_EQ(console.row(4), "Reverse: a" + std::string(18, '#'));
    EXPECT_EQ(console.row(5), "Output: c" + std::string(18, ' ') + "#");
    EXPECT_EQ(console.row(6), "Renormalized Z = 75 ohm" + std::string(4, ' ') + "#");
    EXPECT_EQ(console.row(7), std::string(28, '#'));
    EXPECT_EQ(console.cursor().row, 6);
    EXPECT_EQ(console.cursor().column, 24);
    EXPECT_TRUE(inputs_.single_file);
    EXPECT_EQ(inputs_.reverse_name, "a");
    EXPECT_FALSE(slots_.reverse.is_open());
    EXPECT_EQ(inputs_.z_new, 75.0);
    EXPECT_FALSE(dir_.exists("nofile.s2p"));
}

TEST_F(Dialogue, AWrappedRejectedAnswerIsWipedOnlyOnTheRowWhereItEnded) {
    FakeConsole console;
    const std::string long_name = "abcdefghijklmnopqrstuvwxy";  // 25: "Forward: " + 25 wraps
    script(console, {long_name, "a", "b", "c", "50"});
    ASSERT_TRUE(run(console));
    EXPECT_EQ(console.text_of_row(3), "Forward: " + long_name.substr(0, 19));
    EXPECT_EQ(console.text_of_row(4), "Forward: a");
    EXPECT_EQ(console.text_of_row(5), "Reverse: b");
    EXPECT_EQ(console.text_of_row(6), "Output: c");
    EXPECT_EQ(console.text_of_row(7), "Renormalized Z = 50");
}

TEST_F(Dialogue, AReverseNameEqualToTheForwardNameIsSingleFileWithoutOpeningIt) {
    FakeConsole console;
    script(console, {"a", "a", "c", "50"});
    ASSERT_TRUE(run(console));
    EXPECT_TRUE(inputs_.single_file);
    EXPECT_FALSE(slots_.reverse.is_open());
    EXPECT_EQ(console.text_of_row(4), "Reverse: a");
}

TEST_F(Dialogue, AReverseNameInAnotherLetterCaseIsAnotherFile) {
    dir_.write("A.s2p", option_line);
    FakeConsole console;
    script(console, {"a", "A", "c", "50"});
    ASSERT_TRUE(run(console));
    EXPECT_FALSE(inputs_.single_file);
    EXPECT_TRUE(slots_.reverse.is_open());
    EXPECT_EQ(inputs_.reverse_name, "A");
}

TEST_F(Dialogue, AnEmptyForwardAnswerTriesTheFileNamedOnlyByTheExtension) {
    dir_.write(".s2p", option_line);
    FakeConsole console;
    script(console, {"", "b", "c", "50"});
    ASSERT_TRUE(run(console));
    EXPECT_EQ(inputs_.forward_name, "");
    EXPECT_EQ(console.text_of_row(3), "Forward:");
}

TEST_F(Dialogue, OutputAnswersThatWouldEmptyAnInputOrCannotBeCreatedAreAskedAgain) {
    std::filesystem::create_directory(dir_.path() / "sub");
    FakeConsole console;
    // Empty, equal to an input name, the forward file reached by another name, the reverse
    // file reached through a folder, and a folder that does not exist.
    script(console, {"a", "b", "", "a", "b", "./a", "sub/../b", "nodir/c", "c", "50"});
    ASSERT_TRUE(run(console));
    EXPECT_EQ(inputs_.output_name, "c");
    EXPECT_EQ(dir_.read("a.s2p"), option_line);
    EXPECT_EQ(dir_.read("b.s2p"), option_line);
    EXPECT_FALSE(dir_.exists(".s2p"));
    EXPECT_EQ(console.text_of_row(5), "Output: c");
}

TEST_F(Dialogue, ImpedanceAnswers) {
    struct ImpedanceCase {
        const char* answer;
        bool accepted;
        double z;
    };
    const std::vector<ImpedanceCase> cases = {
        {"75", true, 75.0},         {"75 ohm", true, 75.0}, {"1,5", true, 1.0},
        {"  50", true, 50.0},       {"2e1", true, 20.0},    {"0", false, 0},
        {"-50", false, 0},          {"abc", false, 0},      {"", false, 0},
        {"nan", false, 0},          {"inf", false, 0},      {"-inf", false, 0},
        {"1e999", false, 0},
    };
    for (const ImpedanceCase& c : cases) {
        FileSlots slots;
        RunInputs inputs;
        FakeConsole console;
        script(console, {"a", "a", "c", c.answer, "33"});
        ASSERT_TRUE(run_dialogue(console, slots, inputs, settings())) << c.answer;
        // A rejected answer is asked again, and the next answer, 33, is taken.
        EXPECT_EQ(inputs.z_new, c.accepted ? c.z : 33.0) << c.answer;
    }
}

TEST_F(Dialogue, AnswersComeFromStandardInputWhenItIsNotTheConsole) {
    FakeConsole console;
    console.pipe_input("a,,a,c,75\n");
    ASSERT_TRUE(run(console));
    EXPECT_EQ(inputs_.forward_name, "a");
    EXPECT_TRUE(inputs_.single_file);
    EXPECT_EQ(inputs_.output_name, "c");
    EXPECT_EQ(inputs_.z_new, 75.0);
    // No prompt is written; the forward name still stands for the empty reverse answer.
    EXPECT_EQ(console.text_of_row(3), "");
    EXPECT_EQ(console.text_of_row(4), "a");
}

TEST_F(Dialogue, EndsWithoutAnOutputWhenTheInputEndsBeforeTheLastAnswer) {
    FakeConsole piped;
    piped.pipe_input("a,b\n");
    EXPECT_FALSE(run(piped));
    FakeConsole typed;
    script(typed, {"a", "b", "c"});
    FileSlots slots;
    RunInputs inputs;
    EXPECT_FALSE(run_dialogue(typed, slots, inputs, settings()));
    EXPECT_TRUE(dir_.exists("c.s2p"));  // the third answer was accepted before the end

    FakeConsole early;
    script(early, {"a"});
    FileSlots other_slots;
    RunInputs other_inputs;
    slots.output.close();  // Windows removes no file that is still open
    ASSERT_TRUE(std::filesystem::remove(dir_.path() / "c.s2p"));
    EXPECT_FALSE(run_dialogue(early, other_slots, other_inputs, settings()));
    EXPECT_FALSE(dir_.exists("c.s2p"));
}

struct SettingsCase {
    const char* name;
    std::vector<unsigned char> bytes;  // none: no settings file at all
    bool exists;
    int x;
    int y;
};

TEST_F(Dialogue, PlacesTheWindowWhereTheSettingsFileSays) {
    const std::vector<SettingsCase> cases = {
        {"missing", {}, false, 768, 384},
        {"empty", {}, true, 768, 384},
        {"-8, 100", {0xF8, 0xFF, 0x64, 0x00}, true, -8, 100},
        {"longer than 4 bytes", {0x10, 0x00, 0x20, 0x00, 0xAA, 0xBB}, true, 16, 32},
        {"one byte", {0x05}, true, 5, 0},
        {"three bytes", {0x05, 0x01, 0x02}, true, 261, 2},
        {"zero", {0, 0, 0, 0}, true, 768, 384},
        {"negative top", {0x10, 0x00, 0xF0, 0xFF}, true, 768, 384},
        {"top at -32768", {0x10, 0x00, 0x00, 0x80}, true, 768, 384},
        {"negative left, top 0", {0xF8, 0xFF, 0x00, 0x00}, true, -8, 0},
    };
    for (const SettingsCase& c : cases) {
        std::filesystem::remove(settings());
        const std::string contents(c.bytes.begin(), c.bytes.end());
        if (c.exists) dir_.write("tavrin.ini", contents);
        FileSlots slots;
        RunInputs inputs;
        FakeConsole console;
        script(console, {"a", "a", "c", "50"});
        ASSERT_TRUE(run_dialogue(console, slots, inputs, settings())) << c.name;
        ASSERT_EQ(console.moves().size(), 1u) << c.name;
        EXPECT_EQ(console.moves()[0].x, c.x) << c.name;
        EXPECT_EQ(console.moves()[0].y, c.y) << c.name;
        // A missing file is created empty; a run that completes changes nothing in it.
        ASSERT_TRUE(dir_.exists("tavrin.ini")) << c.name;
        EXPECT_EQ(dir_.read("tavrin.ini"), contents) << c.name;
    }
}

TEST_F(Dialogue, UsesTheDefaultPositionWhenTheSettingsFileCannotBeOpened) {
    std::filesystem::create_directory(dir_.path() / "tavrin.ini");
    FakeConsole console;
    script(console, {"a", "a", "c", "50"});
    ASSERT_TRUE(run(console));
    ASSERT_EQ(console.moves().size(), 1u);
    EXPECT_EQ(console.moves()[0].x, 768);
    EXPECT_EQ(console.moves()[0].y, 384);
}

TEST_F(Dialogue, TheControlHandlerWritesTheWindowPositionOverTheFirstFourBytes) {
    struct HandlerCase {
        WindowPosition window;
        std::string bytes;
    };
    const std::vector<HandlerCase> cases = {
        {{200, 150}, std::string("\xC8\x00\x96\x00", 4)},
        {{-8, -20}, std::string("\xF8\xFF\xEC\xFF", 4)},
        {{768, 384}, std::string("\x00\x03\x80\x01", 4)},
    };
    for (const HandlerCase& c : cases) {
        dir_.write("tavrin.ini", "ABCDEF");
        // The handler writes through the settings slot the dialogue opened.
        FileSlots slots;
        RunInputs inputs;
        FakeConsole console;
        script(console, {"a"});
        EXPECT_FALSE(run_dialogue(console, slots, inputs, settings()));
        ASSERT_NE(console.handler(), nullptr);
        console.set_reported_window(c.window);
        EXPECT_EQ(current_window_position(), window_position_word(c.window));
        console.handler()();
        EXPECT_EQ(dir_.read("tavrin.ini"), c.bytes + "EF");
        slots.forward.close();
        slots.settings.close();
    }
}

TEST(WindowPositionWord, HoldsLeftAndTopAsSigned16BitHalves) {
    struct WordCase {
        std::vector<unsigned char> bytes;
        std::uint32_t word;
        int x;
        int y;
    };
    const std::vector<WordCase> cases = {
        {{0xF8, 0xFF, 0x64, 0x00}, 0x0064FFF8u, -8, 100},
        {{0x00, 0x03, 0x80, 0x01}, 0x01800300u, 768, 384},
        {{0xFF, 0x7F, 0x00, 0x80}, 0x80007FFFu, 32767, -32768},
        {{0x05}, 5u, 5, 0},
        {{}, 0u, 0, 0},
        {{0x01, 0x02, 0x03, 0x04, 0x05}, 0x04030201u, 0x0201, 0x0403},
    };
    for (const WordCase& c : cases) {
        const std::uint32_t word = window_position_from_bytes(c.bytes.data(), c.bytes.size());
        EXPECT_EQ(word, c.word);
        EXPECT_EQ(window_position_of(word).x, c.x);
        EXPECT_EQ(window_position_of(word).y, c.y);
        EXPECT_EQ(window_position_word({c.x, c.y}), c.word);
    }
}

TEST(WindowPositionWord, AWordBelowOneGivesTheDefaultPosition) {
    EXPECT_EQ(usable_window_position(0u), 0x01800300u);
    EXPECT_EQ(usable_window_position(0x80000000u), 0x01800300u);
    EXPECT_EQ(usable_window_position(0xFFFFFFFFu), 0x01800300u);
    EXPECT_EQ(usable_window_position(1u), 1u);
    EXPECT_EQ(usable_window_position(0x7FFFFFFFu), 0x7FFFFFFFu);
    EXPECT_EQ(usable_window_position(0x0064FFF8u), 0x0064FFF8u);
}

}  // namespace
}  // namespace tavrin
