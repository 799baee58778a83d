// A console on a grid of cells, fed with a script of keys, for testing what is drawn.
#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "support/console.hpp"

namespace tavrin::test {

class FakeConsole final : public Console {
public:
    // fill stands for text already on the screen before the program started.
    explicit FakeConsole(int width = 28, int height = 7, char fill = ' ')
        : width_(width), height_(height), rows_(height, std::string(width, fill)) {}

    // ---- The script ----
    // Typed characters, one key each; press(no_key) is a look that finds nothing.
    void type(std::string_view text) {
        for (const char c : text) keys_.push_back(static_cast<unsigned char>(c));
    }
    void press(int code) { keys_.push_back(code); }
    // Standard input as bytes, for a console that is not the keyboard.
    void pipe_input(std::string bytes) {
        input_is_console_ = false;
        stdin_ = std::move(bytes);
    }
    void set_reported_window(WindowPosition position) { window_ = position; }

    // ---- What happened ----
    std::string row(int row) const { return rows_.at(row - 1); }
    // The row without the blanks at its end.
    std::string text_of_row(int row) const {
        std::string text = rows_.at(row - 1);
        text.erase(text.find_last_not_of(' ') + 1);
        return text;
    }
    ScreenPosition cursor() const { return cursor_; }
    int beeps() const { return beeps_; }
    int sleeps() const { return sleeps_; }
    bool cursor_shown() const { return visible_; }
    bool cursor_was_shown_while_editing() const { return shown_during_edit_; }
    const std::vector<std::string>& calls() const { return calls_; }
    const std::vector<WindowPosition>& moves() const { return moves_; }
    void (*handler() const)() { return handler_; }
    void set_cursor_shown(bool visible) { visible_ = visible; }

    // ---- Console ----
    bool input_is_console() override { return input_is_console_; }

    // An empty script is the input ending, so that no test can wait for ever.
    int poll_key() override {
        if (!input_is_console_ || keys_.empty()) return input_ended;
        const int code = keys_.front();
        keys_.pop_front();
        return code;
    }

    int read_input_byte() override {
        if (stdin_at_ >= stdin_.size()) return -1;
        return static_cast<unsigned char>(stdin_[stdin_at_++]);
    }

    void sleep_milliseconds(int milliseconds) override {
        ++sleeps_;
        last_sleep_ms_ = milliseconds;
    }
    int last_sleep_ms() const { return last_sleep_ms_; }

    int width() override { return width_; }
    int height() override { return height_; }

    void write(std::string_view text) override {
        for (const char c : text) {
            rows_.at(cursor_.row - 1).at(cursor_.column - 1) = c;
            if (++cursor_.column > width_) {
                cursor_.column = 1;
                next_row();
            }
        }
    }
    void end_line() override {
        cursor_.column = 1;
        next_row();
    }
    void move_to_column(int column) override { cursor_.column = column; }
    ScreenPosition cursor_position() override { return cursor_; }
    void set_cursor_position(ScreenPosition position) override {
        if (position.column < 1 || position.column > width_ || position.row < 1 ||
            position.row > height_) {
            ++cursor_moves_off_screen_;
            return;
        }
        cursor_ = position;
    }
    int cursor_moves_off_screen() const { return cursor_moves_off_screen_; }
    bool cursor_visible() override { return visible_; }
    void show_cursor(bool visible) override {
        visible_ = visible;
        if (visible) shown_during_edit_ = true;
    }
    void beep(int frequency_hz, int duration_ms) override {
        ++beeps_;
        calls_.push_back("beep " + std::to_string(frequency_hz) + " " + std::to_string(duration_ms));
    }

    void set_title(std::string_view title) override {
        calls_.push_back("title '" + std::string(title) + "'");
    }
    void prepare_input() override { calls_.push_back("prepare input"); }
    void move_window(WindowPosition position) override {
        moves_.push_back(position);
        window_ = position;
        calls_.push_back("move window");
    }
    void lock_window_size() override { calls_.push_back("lock window size"); }
    WindowPosition window_position() override { return window_; }
    void size_console(int columns, int rows) override {
        calls_.push_back("size " + std::to_string(columns) + " x " + std::to_string(rows));
        cursor_ = {1, 1};
    }
    void set_control_handler(void (*handler)()) override {
        handler_ = handler;
        calls_.push_back("control handler");
    }
private:
    void next_row() {
        if (cursor_.row < height_) {
            ++cursor_.row;
            return;
        }
        rows_.erase(rows_.begin());
        rows_.push_back(std::string(width_, ' '));
    }

    int width_;
    int height_;
    std::vector<std::string> rows_;
    ScreenPosition cursor_;
    bool visible_ = true;
    bool shown_during_edit_ = false;
    std::deque<int> keys_;
    bool input_is_console_ = true;
    std::string stdin_;
    std::size_t stdin_at_ = 0;
    int beeps_ = 0;
    int sleeps_ = 0;
    int last_sleep_ms_ = 0;
    int cursor_moves_off_screen_ = 0;
    std::vector<std::string> calls_;
    std::vector<WindowPosition> moves_;
    WindowPosition window_;
    void (*handler_)() = nullptr;
};

}  // namespace tavrin::test
