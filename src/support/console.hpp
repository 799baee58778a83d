// The console the interactive dialogue runs in: output at a cursor, keys, and the window.
// One interface, one implementation per platform (a terminal on POSIX, the Windows console).
#pragma once

#include <cstdint>

#include <string>
#include <string_view>

namespace tavrin {

// Ordinary keys arrive as their character code, extended keys as 255 + 256 * scan code.
inline constexpr int extended_key_code(int scan_code) { return 255 + 256 * scan_code; }

namespace key {
inline constexpr int backspace = 8;
inline constexpr int tab = 9;
inline constexpr int line_feed = 10;
inline constexpr int enter = 13;
inline constexpr int escape = 27;
inline constexpr int home = extended_key_code(71);
inline constexpr int up = extended_key_code(72);
inline constexpr int left = extended_key_code(75);
inline constexpr int right = extended_key_code(77);
inline constexpr int end = extended_key_code(79);
inline constexpr int down = extended_key_code(80);
inline constexpr int del = extended_key_code(83);
}  // namespace key

// What poll_key gives when it has no key to give.
inline constexpr int no_key = -1;       // nothing pressed yet: look again later
inline constexpr int input_ended = -2;  // no key will ever come (input closed, terminal gone)

// A cell of the console: column 1 is the left edge, row 1 the top.
struct ScreenPosition {
    int column = 1;
    int row = 1;
};

// The window's outer top-left corner in screen coordinates.
struct WindowPosition {
    int x = 0;
    int y = 0;
};

// The window position word: bits 0 to 15 the left x, bits 16 to 31 the top y, each a signed
// 16-bit value. One word, so that a control handler can read it with one atomic load.
inline std::uint32_t window_position_word(WindowPosition position) {
    return (static_cast<std::uint32_t>(position.y) & 0xFFFFu) << 16 |
           (static_cast<std::uint32_t>(position.x) & 0xFFFFu);
}

inline WindowPosition window_position_of(std::uint32_t word) {
    return {static_cast<std::int16_t>(static_cast<std::uint16_t>(word & 0xFFFFu)),
            static_cast<std::int16_t>(static_cast<std::uint16_t>(word >> 16))};
}

class Console {
public:
    virtual ~Console() = default;

    // ---- Input ----
    // True when standard input is the console's keyboard (keys can be polled and edited).
    virtual bool input_is_console() = 0;
    // The next key without waiting: a key code, no_key, or input_ended.
    virtual int poll_key() = 0;
    // When standard input is not the console: its next byte (0 to 255), or -1 at its end.
    virtual int read_input_byte() = 0;
    virtual void sleep_milliseconds(int milliseconds) = 0;

    // ---- Output at the cursor ----
    // The size the text wraps and scrolls in.
    virtual int width() = 0;
    virtual int height() = 0;
    // Writes at the cursor; the cursor moves on, wrapping to column 1 of the next row right
    // after the last column is written, and a move past the bottom row scrolls up by one.
    virtual void write(std::string_view text) = 0;
    // Column 1 of the next row, scrolling at the bottom.
    virtual void end_line() = 0;
    // Moves the cursor to a column of the row it is on.
    virtual void move_to_column(int column) = 0;
    virtual ScreenPosition cursor_position() = 0;
    virtual void set_cursor_position(ScreenPosition position) = 0;
    virtual bool cursor_visible() = 0;
    virtual void show_cursor(bool visible) = 0;
    // Where the platform cannot choose the tone, any audible signal.
    virtual void beep(int frequency_hz, int duration_ms) = 0;

    // ---- The window ----
    virtual void set_title(std::string_view title) = 0;
    // Makes the keyboard deliver single keys to poll_key, with Ctrl+C and Ctrl+Break still
    // arriving as control events. Every exit of the process undoes it.
    virtual void prepare_input() = 0;
    virtual void move_window(WindowPosition position) = 0;
    // Takes away what would let the user resize the window, where the platform has it.
    virtual void lock_window_size() = 0;
    // The window's position now, or the last one known; safe to call from the control handler.
    virtual WindowPosition window_position() = 0;
    // Makes the console columns x rows and puts the cursor at row 1, column 1. A Windows
    // console keeps the text it holds; a terminal shows the region on a screen of its own.
    virtual void size_console(int columns, int rows) = 0;
    // The handler runs on every control event (Ctrl+C, Ctrl+Break, window closed, hang-up,
    // termination request), possibly in a signal handler or on another thread: it may only
    // make async-signal-safe calls. The platform's default handling then ends the process.
    virtual void set_control_handler(void (*handler)()) = 0;
};

// The console of this process.
Console& system_console();

}  // namespace tavrin
