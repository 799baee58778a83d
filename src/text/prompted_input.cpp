#include "text/prompted_input.hpp"

namespace tavrin {

namespace {

constexpr int blank = ' ';
constexpr int tab = '\t';
constexpr int carriage_return = '\r';
constexpr int line_feed = '\n';
constexpr int comma = ',';
constexpr int double_quote = '"';
constexpr int beep_frequency_hz = 1000;
constexpr int beep_duration_ms = 250;
constexpr std::size_t tab_stop = 8;

bool is_line_end(int c) { return c == carriage_return || c == line_feed; }

// CR, LF, or CR LF together.
void take_line_end(ItemSource& source) {
    if (source.peek() == carriage_return) {
        source.take();
        if (source.peek() == line_feed) source.take();
    } else if (source.peek() == line_feed) {
        source.take();
    }
}

void skip_blanks(ItemSource& source) {
    while (source.peek() == blank || source.peek() == tab) source.take();
}

// The line being edited and where it sits on the console. Positions are counted in cells
// from the top-left corner, row by row; the text's start moves up when the console scrolls.
class LineEditor {
public:
    explicit LineEditor(Console& console)
        : console_(console), width_(console.width()), cells_(console.width() * console.height()) {
        start_ = cell_of(console.cursor_position());
    }

    std::string& text() { return text_; }
    std::size_t index() const { return index_; }

    // Inserts count copies of one character at the cursor.
    void insert(std::size_t count, char character) {
        text_.insert(index_, count, character);
        redraw_from(index_, 0);
        index_ += count;
        place(index_);
    }

    void backspace() {
        if (index_ == 0) return;
        --index_;
        text_.erase(index_, 1);
        redraw_from(index_, 1);
        place(index_);
    }

    void del() {
        if (index_ == text_.size()) {
            console_.beep(beep_frequency_hz, beep_duration_ms);
            return;
        }
        text_.erase(index_, 1);
        redraw_from(index_, 1);
        place(index_);
    }

    void wipe() {
        const std::size_t length = text_.size();
        text_.clear();
        index_ = 0;
        redraw_from(0, length);
        place(0);
    }

    void move_to(std::size_t index) {
        if (index == index_) return;
        index_ = index;
        place(index_);
    }

    void up() {
        if (index_ >= static_cast<std::size_t>(width_)) move_to(index_ - width_);
    }

    void down() {
        if (index_ + width_ <= text_.size()) move_to(index_ + width_);
    }

    void finish() { place(text_.size()); }

private:
    long cell_of(ScreenPosition position) const {
        return static_cast<long>(position.row - 1) * width_ + (position.column - 1);
    }

    void place(std::size_t index) {
        long cell = start_ + static_cast<long>(index);
        // Text scrolled off the top cannot be shown: the cursor stays on the console.
        if (cell < 0) cell = 0;
        if (cell >= cells_) cell = cells_ - 1;
        console_.set_cursor_position(
            {static_cast<int>(cell % width_) + 1, static_cast<int>(cell / width_) + 1});
    }

    // Writes the text from index on, then some blanks over what is no longer there. Where the
    // cursor ends tells where the text starts now, should the writing have scrolled.
    void redraw_from(std::size_t index, std::size_t blanks) {
        place(index);
        std::string tail = text_.substr(index);
        tail.append(blanks, ' ');
        console_.write(tail);
        start_ = cell_of(console_.cursor_position()) - static_cast<long>(text_.size() + blanks);
    }

    Console& console_;
    const int width_;
    const long cells_;
    long start_ = 0;
    std::string text_;
    std::size_t index_ = 0;
};

}  // namespace

std::optional<std::string> next_input_item(ItemSource& source, std::size_t largest) {
    skip_blanks(source);
    const int first = source.peek();
    if (first == ItemSource::end_of_text) {
        if (source.input_ended()) return std::nullopt;
        return std::string();
    }
    std::string answer;
    if (first == double_quote) {
        source.take();
        for (int c = source.peek(); c != double_quote && c != ItemSource::end_of_text &&
                                    !is_line_end(c);
             c = source.peek()) {
            if (answer.size() == largest) return answer;
            answer += static_cast<char>(c);
            source.take();
        }
        if (source.peek() == double_quote) {
            source.take();
            skip_blanks(source);
            // A line end after the closing quote ends the item as a comma would; otherwise
            // each quoted answer read from a stream would be followed by an empty one.
            if (source.peek() == comma) {
                source.take();
                return answer;
            }
        }
        take_line_end(source);
        return answer;
    }
    for (int c = first; c != comma && c != ItemSource::end_of_text && !is_line_end(c);
         c = source.peek()) {
        if (answer.size() == largest) return answer;
        answer += static_cast<char>(c);
        source.take();
    }
    if (source.peek() == comma) {
        source.take();
    } else {
        take_line_end(source);
    }
    return answer;
}

std::optional<std::string> edit_console_line(Console& console) {
    const bool was_visible = console.cursor_visible();
    console.show_cursor(true);
    LineEditor editor(console);
    for (;;) {
        const int code = console.poll_key();
        if (code == no_key) {
            console.sleep_milliseconds(key_poll_interval_ms);
            continue;
        }
        if (code == input_ended) {
            console.show_cursor(was_visible);
            return std::nullopt;
        }
        if (code == key::enter || code == key::line_feed) {
            editor.finish();
            console.show_cursor(was_visible);
            return std::move(editor.text());
        }
        if (code >= ' ' && code <= 255) {
            editor.insert(1, static_cast<char>(code));
            continue;
        }
        switch (code) {
            case key::tab:
                editor.insert(tab_stop - editor.index() % tab_stop, ' ');
                break;
            case key::backspace: editor.backspace(); break;
            case key::del: editor.del(); break;
            case key::escape: editor.wipe(); break;
            case key::left:
                if (editor.index() > 0) editor.move_to(editor.index() - 1);
                break;
            case key::right:
                if (editor.index() < editor.text().size()) editor.move_to(editor.index() + 1);
                break;
            case key::home: editor.move_to(0); break;
            case key::end: editor.move_to(editor.text().size()); break;
            case key::up: editor.up(); break;
            case key::down: editor.down(); break;
            default: break;
        }
    }
}

std::optional<std::string> prompted_input(Console& console, InputContext& context,
                                          std::string_view prompt, bool add_question_mark,
                                          bool end_line) {
    if (!console.input_is_console()) return next_input_item(context.stream, answer_limit);
    console.write(prompt);
    if (add_question_mark) console.write("? ");
    std::optional<std::string> line = edit_console_line(console);
    if (!line) return std::nullopt;
    context.line.set_line(std::move(*line));
    if (end_line) console.end_line();
    return next_input_item(context.line, answer_limit);
}

}  // namespace tavrin
