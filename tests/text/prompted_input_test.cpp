#include "text/prompted_input.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "fake_console.hpp"

namespace tavrin {
namespace {

using test::FakeConsole;

std::vector<int> typed(std::string_view text) {
    std::vector<int> keys;
    for (const char c : text) keys.push_back(static_cast<unsigned char>(c));
    return keys;
}

std::vector<int> operator+(std::vector<int> first, const std::vector<int>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

std::optional<std::string> edit_after_prompt(FakeConsole& console, std::string_view prompt,
                                             const std::vector<int>& keys) {
    for (const int code : keys) console.press(code);
    console.write(prompt);
    return edit_console_line(console);
}

TEST(EditConsoleLine, ThreeLettersAfterAPromptLeaveTheCursorRightAfterThem) {
    FakeConsole console;
    const auto line = edit_after_prompt(console, "Forward: ", typed("abc") + std::vector{key::enter});
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(*line, "abc");
    EXPECT_EQ(console.text_of_row(1), "Forward: abc");
    EXPECT_EQ(console.cursor().row, 1);
    EXPECT_EQ(console.cursor().column, 13);
}

struct EditCase {
    const char* name;
    std::vector<int> keys;  // Enter is pressed after them
    std::string text;
    int beeps;
};

// The prompt "P: " takes columns 1 to 3; every text here fits on the first row.
TEST(EditConsoleLine, EditingKeysChangeTheTextAndTheScreenAlike) {
    const std::vector<EditCase> cases = {
        {"insertion in the middle", typed("ac") + std::vector{key::left} + typed("b"), "abc", 0},
        {"tab at the start", std::vector{key::tab} + typed("x"), "        x", 0},
        {"tab after three", typed("abc") + std::vector{key::tab} + typed("d"), "abc     d", 0},
        {"tab on a multiple of 8", typed("abcdefgh") + std::vector{key::tab} + typed("i"),
         "abcdefgh        i", 0},
        {"tab in front of text", typed("ab") + std::vector{key::home, key::tab}, "        ab", 0},
        {"backspace at the start", typed("ab") + std::vector{key::home, key::backspace}, "ab", 0},
        {"backspace in the middle", typed("abc") + std::vector{key::left, key::backspace}, "ac",
         0},
        {"backspace at the end", typed("abc") + std::vector{key::backspace}, "ab", 0},
        {"delete at the end beeps", typed("abc") + std::vector{key::del}, "abc", 1},
        {"delete in the middle", typed("abc") + std::vector{key::home, key::del}, "bc", 0},
        {"delete on an empty line beeps", std::vector{key::del}, "", 1},
        {"escape wipes", typed("abc") + std::vector{key::escape}, "", 0},
        {"typing after escape", typed("abc") + std::vector{key::escape} + typed("x"), "x", 0},
        {"home and end", typed("abc") + std::vector{key::home} + typed("x") +
                             std::vector{key::end} + typed("y"),
         "xabcy", 0},
        {"left and right stop at the ends",
         typed("ab") + std::vector{key::right, key::right, key::home, key::left} + typed("x"),
         "xab", 0},
        {"up and down need a whole width", typed("ab") + std::vector{key::up, key::down} + typed("c"),
         "abc", 0},
        {"other keys are ignored",
         typed("a") + std::vector{1, 27 + 256, extended_key_code(59)} + typed("b"), "ab", 0},
        {"bytes above 127 are characters", typed("\xe9\xff"), "\xe9\xff", 0},
    };
    for (const EditCase& c : cases) {
        FakeConsole console;
        const auto line = edit_after_prompt(console, "P: ", c.keys + std::vector{key::enter});
        ASSERT_TRUE(line.has_value()) << c.name;
        EXPECT_EQ(*line, c.text) << c.name;
        std::string shown = "P: " + c.text;
        shown.erase(shown.find_last_not_of(' ') + 1);
        EXPECT_EQ(console.text_of_row(1), shown) << c.name;
        EXPECT_EQ(console.text_of_row(2), "") << c.name;
        // Enter leaves the cursor right after the text, on its row.
        EXPECT_EQ(console.cursor().row, 1) << c.name;
        EXPECT_EQ(console.cursor().column, 4 + static_cast<int>(c.text.size())) << c.name;
        EXPECT_EQ(console.beeps(), c.beeps) << c.name;
    }
}

TEST(EditConsoleLine, DeleteBeepsAtOneThousandHertzForAQuarterSecond) {
    FakeConsole console;
    edit_after_prompt(console, "", typed("a") + std::vector{key::del, key::enter});
    ASSERT_EQ(console.calls().size(), 1u);
    EXPECT_EQ(console.calls()[0], "beep 1000 250");
}

TEST(EditConsoleLine, EnterAndLineFeedBothEndTheLine) {
    for (const int end : {key::enter, key::line_feed}) {
        FakeConsole console;
        const auto line = edit_after_prompt(console, "", typed("ab") + std::vector{end} + typed("c"));
        ASSERT_TRUE(line.has_value());
        EXPECT_EQ(*line, "ab");
    }
}

TEST(EditConsoleLine, UpAndDownMoveByTheConsoleWidthAcrossTheWrap) {
    FakeConsole console;
    const std::string forty = "0123456789abcdefghijklmnopqrstuvwxyzABCD";
    // Index 40 is cell 43: row 2, column 16. Up goes to index 12: row 1, column 16.
    for (const int code : typed(forty) + std::vector{key::up}) console.press(code);
    console.press(key::enter);
    console.write("P: ");
    const auto whole = edit_console_line(console);
    ASSERT_TRUE(whole.has_value());
    EXPECT_EQ(console.text_of_row(1), "P: " + forty.substr(0, 25));
    EXPECT_EQ(console.text_of_row(2), forty.substr(25));

    FakeConsole editing;
    const auto line = edit_after_prompt(
        editing, "P: ",
        typed(forty) + std::vector{key::up} + typed("X") + std::vector{key::down} + typed("Y") +
            std::vector{key::home, key::right, key::down, key::up, key::up} + typed("Z") +
            std::vector{key::enter});
    ASSERT_TRUE(line.has_value());
    // Up from 40 to 12, X inserted; Down from 13 to 41 (the end), Y appended; from index 1,
    // Down to 29, Up back to 1, Up refused at 1, Z inserted there.
    EXPECT_EQ(*line, forty.substr(0, 1) + "Z" + forty.substr(1, 11) + "X" + forty.substr(12) + "Y");
    const std::string text = *line;
    EXPECT_EQ(editing.text_of_row(1), "P: " + text.substr(0, 25));
    EXPECT_EQ(editing.text_of_row(2), text.substr(25));
}

TEST(EditConsoleLine, TheCursorKeepsItsColumnWhenMovingUp) {
    FakeConsole console;
    std::vector<int> keys = typed(std::string(40, 'x'));
    for (const int code : keys) console.press(code);
    console.press(key::up);
    // The script ends here: the editor gives up, and the cursor shows where Up put it.
    console.write("P: ");
    EXPECT_FALSE(edit_console_line(console).has_value());
    EXPECT_EQ(console.cursor().row, 1);
    EXPECT_EQ(console.cursor().column, 16);
}

TEST(EditConsoleLine, TypingPastTheBottomRowScrollsAndTheTextStillEditsInPlace) {
    FakeConsole console;
    console.set_cursor_position({1, 7});
    console.write("P: ");
    // 30 characters from column 4 of row 7: 25 fit, the screen scrolls, 5 go on the new row.
    const std::string thirty = "abcdefghijklmnopqrstuvwxyz0123";
    for (const int code : typed(thirty) + std::vector{key::home} + typed("X") +
                              std::vector{key::end, key::enter}) {
        console.press(code);
    }
    const auto line = edit_console_line(console);
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(*line, "X" + thirty);
    EXPECT_EQ(console.text_of_row(6), "P: X" + thirty.substr(0, 24));
    EXPECT_EQ(console.text_of_row(7), thirty.substr(24));
    EXPECT_EQ(console.cursor().row, 7);
    EXPECT_EQ(console.cursor().column, 7);
}

TEST(EditConsoleLine, EscapeWipesAWrappedTextAndReturnsToItsStart) {
    FakeConsole console;
    const auto line = edit_after_prompt(
        console, "Forward: ", typed(std::string(30, 'w')) + std::vector{key::escape, key::enter});
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(*line, "");
    EXPECT_EQ(console.text_of_row(1), "Forward:");
    EXPECT_EQ(console.text_of_row(2), "");
    EXPECT_EQ(console.cursor().row, 1);
    EXPECT_EQ(console.cursor().column, 10);
}

TEST(EditConsoleLine, ShowsTheCursorWhileEditingAndPutsItsVisibilityBack) {
    for (const bool ended : {false, true}) {
        FakeConsole console;
        console.set_cursor_shown(false);
        console.type("ab");
        if (!ended) console.press(key::enter);
        const auto line = edit_console_line(console);
        EXPECT_EQ(line.has_value(), !ended);
        EXPECT_TRUE(console.cursor_was_shown_while_editing());
        EXPECT_FALSE(console.cursor_shown());
    }
}

TEST(EditConsoleLine, LooksForKeysEveryTwentyFiveMilliseconds) {
    FakeConsole console;
    for (int i = 0; i < 3; ++i) console.press(no_key);
    console.type("a\r");
    const auto line = edit_console_line(console);
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(*line, "a");
    EXPECT_EQ(console.sleeps(), 3);
    EXPECT_EQ(console.last_sleep_ms(), 25);
}

TEST(EditConsoleLine, EndsWithNothingWhenTheKeyboardInputEnds) {
    FakeConsole console;
    console.type("abc");
    EXPECT_FALSE(edit_console_line(console).has_value());
    EXPECT_EQ(console.sleeps(), 0);  // no waiting for keys that cannot come
}

struct ItemCase {
    const char* line;
    std::string first;
    std::string second;
};

TEST(NextInputItem, TakesTheFirstItemOfALineByTheQuoteAndCommaRules) {
    const std::vector<ItemCase> cases = {
        {"   name", "name", ""},
        {"name   ", "name   ", ""},
        {"\t \tname", "name", ""},
        {"a,b", "a", "b"},
        {"\"a,b\"", "a,b", ""},
        {"ab\"c", "ab\"c", ""},
        {"\"abc", "abc", ""},
        {"", "", ""},
        {"   ", "", ""},
        {"\" a b \" , c", " a b ", "c"},
        {"\"a\"b", "a", "b"},
        {" , x", "", "x"},
        {"1,5", "1", "5"},
        {"a b\t,c", "a b\t", "c"},
        {"\"\",x", "", "x"},
    };
    for (const ItemCase& c : cases) {
        LineItems items;
        items.set_line(c.line);
        const auto first = next_input_item(items, answer_limit);
        const auto second = next_input_item(items, answer_limit);
        ASSERT_TRUE(first.has_value() && second.has_value()) << c.line;
        EXPECT_EQ(*first, c.first) << c.line;
        EXPECT_EQ(*second, c.second) << c.line;
    }
}

TEST(NextInputItem, CutsAnItemAtTheLargestLengthAndLeavesTheRestUnread) {
    std::string long_line;
    for (int i = 0; i < 5000; ++i) long_line += static_cast<char>('a' + i % 26);
    LineItems items;
    items.set_line(long_line);
    EXPECT_EQ(next_input_item(items, 4096), long_line.substr(0, 4096));
    EXPECT_EQ(next_input_item(items, 4096), long_line.substr(4096));

    items.set_line("\"abcdefghij\"");
    EXPECT_EQ(next_input_item(items, 4), "abcd");
    // The rest no longer starts with a quote: the closing quote is an ordinary character.
    EXPECT_EQ(next_input_item(items, 4096), "efghij\"");

    // An item that ends right at the largest length still ends at its comma.
    items.set_line("abcd,e");
    EXPECT_EQ(next_input_item(items, 4), "abcd");
    EXPECT_EQ(next_input_item(items, 4), "e");
}

TEST(NextInputItem, ReadsStandardInputAcrossLinesUntilItEnds) {
    struct StreamCase {
        const char* input;
        std::vector<std::string> items;  // then the end of the input
    };
    const std::vector<StreamCase> cases = {
        {"a,a,b,75\n", {"a", "a", "b", "75"}},
        {"a,b\nc\r\nd", {"a", "b", "c", "d"}},
        {"x\ry", {"x", "y"}},
        {"\n\n", {"", ""}},
        {"  \n", {""}},
        {"", {}},
        {"\"q r\"\r\nz\n", {"q r", "z"}},
        {"\"q\" , z\n", {"q", "z"}},
        {"\"open\nnext", {"open", "next"}},
        {"a,\n", {"a", ""}},
    };
    for (const StreamCase& c : cases) {
        FakeConsole console;
        console.pipe_input(c.input);
        StreamItems stream(console);
        for (const std::string& expected : c.items) {
            const auto item = next_input_item(stream, answer_limit);
            ASSERT_TRUE(item.has_value()) << c.input;
            EXPECT_EQ(*item, expected) << c.input;
        }
        EXPECT_FALSE(next_input_item(stream, answer_limit).has_value()) << c.input;
        EXPECT_FALSE(next_input_item(stream, answer_limit).has_value()) << c.input;
    }
}

TEST(PromptedInput, WritesThePromptEditsInPlaceAndGivesTheFirstItem) {
    FakeConsole console;
    console.type("a,b\r");
    InputContext context(console);
    const auto answer = prompted_input(console, context, "Forward: ", false, false);
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(*answer, "a");
    EXPECT_EQ(console.text_of_row(1), "Forward: a,b");
    // No line end: the cursor stays right after the typed text.
    EXPECT_EQ(console.cursor().row, 1);
    EXPECT_EQ(console.cursor().column, 13);
}

TEST(PromptedInput, AddsAQuestionMarkAndEndsTheLineOnlyWhenAsked) {
    FakeConsole console;
    console.type("x\r");
    InputContext context(console);
    const auto answer = prompted_input(console, context, "Name", true, true);
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(*answer, "x");
    EXPECT_EQ(console.text_of_row(1), "Name? x");
    EXPECT_EQ(console.cursor().row, 2);
    EXPECT_EQ(console.cursor().column, 1);
}

TEST(PromptedInput, EveryQuestionStartsFromItsOwnLine) {
    FakeConsole console;
    console.type("a,b\rc\r");
    InputContext context(console);
    EXPECT_EQ(prompted_input(console, context, "1: ", false, true), "a");
    // The b left on the first line is not carried over.
    EXPECT_EQ(prompted_input(console, context, "2: ", false, true), "c");
}

TEST(PromptedInput, GivesTheFirstFourThousandAndNinetySixCharactersOfALongLine) {
    FakeConsole console;
    std::string long_line;
    for (int i = 0; i < 5000; ++i) long_line += static_cast<char>('a' + i % 26);
    console.type(long_line);
    console.press(key::enter);
    InputContext context(console);
    const auto answer = prompted_input(console, context, "P: ", false, false);
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(*answer, long_line.substr(0, 4096));
    EXPECT_EQ(console.cursor_moves_off_screen(), 0);
}

TEST(PromptedInput, WithoutAConsoleWritesNoPromptAndTakesSuccessiveItems) {
    FakeConsole console;
    console.pipe_input("first, second\nthird\n");
    InputContext context(console);
    EXPECT_EQ(prompted_input(console, context, "Forward: ", false, false), "first");
    EXPECT_EQ(prompted_input(console, context, "Reverse: ", false, false), "second");
    EXPECT_EQ(prompted_input(console, context, "Output: ", false, false), "third");
    EXPECT_EQ(prompted_input(console, context, "Renormalized Z = ", false, false), std::nullopt);
    EXPECT_EQ(console.text_of_row(1), "");
    EXPECT_EQ(console.cursor().column, 1);
}

}  // namespace
}  // namespace tavrin
