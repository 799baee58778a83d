// One prompted answer: the prompt, a line edited in place on the console, and the first item
// of that line. When standard input is not the console, the items come from it directly.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "support/console.hpp"

namespace tavrin {

// The longest answer an item gives.
inline constexpr std::size_t answer_limit = 4096;
// How long the editor waits between looks at the keyboard.
inline constexpr int key_poll_interval_ms = 25;

// Bytes that items are read from.
class ItemSource {
public:
    static constexpr int end_of_text = -1;

    virtual ~ItemSource() = default;
    // The next byte (0 to 255) without taking it, or end_of_text.
    virtual int peek() = 0;
    virtual void take() = 0;
    // True when nothing will ever follow: standard input has ended. The end of an edited
    // line is not that; it gives an empty item.
    virtual bool input_ended() = 0;
};

// The line last edited, read from its start.
class LineItems final : public ItemSource {
public:
    void set_line(std::string line) {
        line_ = std::move(line);
        at_ = 0;
    }
    int peek() override {
        return at_ < line_.size() ? static_cast<unsigned char>(line_[at_]) : end_of_text;
    }
    void take() override {
        if (at_ < line_.size()) ++at_;
    }
    bool input_ended() override { return false; }

private:
    std::string line_;
    std::size_t at_ = 0;
};

// Standard input when it is not the console, one byte looked ahead.
class StreamItems final : public ItemSource {
public:
    explicit StreamItems(Console& console) : console_(console) {}
    int peek() override {
        if (!looked_) {
            next_ = console_.read_input_byte();
            if (next_ < 0) next_ = end_of_text;
            looked_ = true;
        }
        return next_;
    }
    void take() override {
        if (peek() != end_of_text) looked_ = false;
    }
    bool input_ended() override { return peek() == end_of_text; }

private:
    Console& console_;
    int next_ = end_of_text;
    bool looked_ = false;
};

// What the answers are read from across the questions of one run.
struct InputContext {
    explicit InputContext(Console& console) : stream(console) {}
    LineItems line;
    StreamItems stream;
};

// The next item: blanks and tabs skipped; a double-quoted text, or everything up to a comma or
// the line's end; at most largest characters, the rest left unread. Empty at the end of a
// line; nothing when the input has ended before an item began.
std::optional<std::string> next_input_item(ItemSource& source, std::size_t largest);

// Edits one line in place at the cursor and returns it when Enter is pressed; nothing when
// the keyboard input ended first.
std::optional<std::string> edit_console_line(Console& console);

// Writes the prompt (and "? " when asked), reads a line and returns its first item; nothing
// when the input ended before an answer was given.
std::optional<std::string> prompted_input(Console& console, InputContext& context,
                                          std::string_view prompt, bool add_question_mark,
                                          bool end_line);

}  // namespace tavrin
