// The console on Windows: the console API of kernel32 for text, cursor, keys and size, and
// user32 on the console window for its place and its frame.
#include <windows.h>

#include <atomic>
#include <string>

#include "support/console.hpp"
#include "support/process_exit.hpp"

namespace tavrin {

namespace {

// The quick-edit bit only takes effect with the extended-flags bit set in the same call.
constexpr DWORD quick_edit_mode = 0x0040;      // ENABLE_QUICK_EDIT_MODE
constexpr DWORD extended_flags = 0x0080;       // ENABLE_EXTENDED_FLAGS
constexpr UINT place_flags = SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW;  // 0x0045
static_assert(place_flags == 0x0045);

// What the control routine needs. Each is written on the main thread before
// SetConsoleCtrlHandler registers the routine, or is a lock-free atomic.
struct ControlState {
    std::atomic<HWND> window{nullptr};
    std::atomic<void (*)()> handler{nullptr};
    HANDLE main_thread = nullptr;
    DWORD main_thread_id = 0;
    HANDLE input = INVALID_HANDLE_VALUE;
    DWORD original_input_mode = 0;
    std::atomic<bool> input_mode_changed{false};
    // Last position the window was put at or seen at, y in the high half, x in the low half.
    std::atomic<DWORD> position{0};
    SRWLOCK one_event_at_a_time = SRWLOCK_INIT;
};

ControlState control;

// Where the window is now; when it cannot be asked, where it was last put or seen.
// Only a user32 read of the window rectangle: safe on the control-event thread.
WindowPosition current_position() {
    RECT outer{};
    const HWND window = control.window.load();
    if (window != nullptr && ::GetWindowRect(window, &outer)) {
        control.position = window_position_word({static_cast<int>(outer.left), static_cast<int>(outer.top)});
    }
    return window_position_of(control.position.load());
}

void restore_input_mode() {
    if (control.input_mode_changed.exchange(false)) {
        ::SetConsoleMode(control.input, control.original_input_mode);
    }
}

// Windows calls this on a thread of its own for every console control event (Ctrl+C,
// Ctrl+Break, the window closed, log-off, shut-down), while the main thread runs on.
//
// No race with the main thread's files: the main thread is suspended for as long as the
// handler runs, so it cannot be inside a write, a close or the exit sequence of a slot the
// handler touches. The handler itself only writes the settings bytes with one positioned
// WriteFile on a handle that stays open; it takes no C runtime lock and allocates nothing, so
// it cannot wait on a lock the frozen main thread holds. Nothing is flushed or closed here
// (an fwrite would wait for ever on the stream lock of a main thread frozen inside one):
// FALSE hands the event on to the default handling, which ends the process, and Windows then
// closes every handle. What the slots had handed to the system stays in the files, since the
// C runtime buffers nothing for them; an output slot's own unwritten block goes with the
// interrupted run.
BOOL WINAPI control_routine(DWORD) {
    ::AcquireSRWLockExclusive(&control.one_event_at_a_time);
    bool frozen = false;
    if (control.main_thread != nullptr && ::GetCurrentThreadId() != control.main_thread_id &&
        ::SuspendThread(control.main_thread) != static_cast<DWORD>(-1)) {
        // SuspendThread only asks; reading the context waits until the thread has stopped.
        CONTEXT context{};
        context.ContextFlags = CONTEXT_CONTROL;
        ::GetThreadContext(control.main_thread, &context);
        frozen = true;
    }
    if (void (*handler)() = control.handler.load(); handler != nullptr) handler();
    restore_input_mode();
    if (frozen) ::ResumeThread(control.main_thread);
    ::ReleaseSRWLockExclusive(&control.one_event_at_a_time);
    return FALSE;
}

bool is_modifier_only(WORD virtual_key) {
    switch (virtual_key) {
        case VK_SHIFT:
        case VK_CONTROL:
        case VK_MENU:
        case VK_CAPITAL:
        case VK_NUMLOCK:
        case VK_SCROLL:
        case VK_LWIN:
        case VK_RWIN:
            return true;
        default:
            return false;
    }
}

class WindowsConsole final : public Console {
public:
    WindowsConsole() {
        input_ = ::GetStdHandle(STD_INPUT_HANDLE);
        output_ = ::GetStdHandle(STD_OUTPUT_HANDLE);
        DWORD mode = 0;
        input_console_ = input_ != nullptr && input_ != INVALID_HANDLE_VALUE &&
                         ::GetConsoleMode(input_, &mode);
        output_console_ = output_ != nullptr && output_ != INVALID_HANDLE_VALUE &&
                          ::GetConsoleMode(output_, &mode);
    }

    bool input_is_console() override { return input_console_; }

    int poll_key() override {
        if (repeats_ > 0) {
            --repeats_;
            return repeated_key_;
        }
        if (!input_console_) return input_ended;
        for (;;) {
            INPUT_RECORD record{};
            DWORD count = 0;
            if (!::PeekConsoleInputA(input_, &record, 1, &count)) return input_ended;
            if (count == 0) return no_key;
            if (!::ReadConsoleInputA(input_, &record, 1, &count)) return input_ended;
            if (count == 0) return no_key;
            // Key releases, mouse, focus and buffer-size events are no keystrokes.
            if (record.EventType != KEY_EVENT) continue;
            const KEY_EVENT_RECORD& event = record.Event.KeyEvent;
            if (!event.bKeyDown || is_modifier_only(event.wVirtualKeyCode)) continue;
            const auto character = static_cast<unsigned char>(event.uChar.AsciiChar);
            int code = character;
            if (character == 0) {
                // Some consoles (Wine's on a terminal) give Escape no character of its own.
                if (event.wVirtualKeyCode == VK_ESCAPE) {
                    code = key::escape;
                } else if (event.wVirtualScanCode == 0) {
                    continue;  // no key of the keyboard: a sequence the console did not know
                } else {
                    code = extended_key_code(event.wVirtualScanCode);
                }
            }
            if (event.wRepeatCount > 1) {
                repeated_key_ = code;
                repeats_ = event.wRepeatCount - 1;
            }
            return code;
        }
    }

    int read_input_byte() override {
        if (next_byte_ == byte_count_) {
            DWORD got = 0;
            if (!::ReadFile(input_, bytes_, sizeof bytes_, &got, nullptr) || got == 0) return -1;
            next_byte_ = 0;
            byte_count_ = got;
        }
        return bytes_[next_byte_++];
    }

    void sleep_milliseconds(int milliseconds) override {
        ::Sleep(static_cast<DWORD>(milliseconds < 0 ? 0 : milliseconds));
    }

    int width() override {
        CONSOLE_SCREEN_BUFFER_INFO info{};
        return screen_info(info) ? info.dwSize.X : 80;
    }

    int height() override {
        CONSOLE_SCREEN_BUFFER_INFO info{};
        return screen_info(info) ? info.dwSize.Y : 25;
    }

    // The console itself wraps at the right edge and scrolls at the bottom.
    void write(std::string_view text) override { emit(text); }

    void end_line() override { emit("\r\n"); }

    void move_to_column(int column) override {
        CONSOLE_SCREEN_BUFFER_INFO info{};
        if (!screen_info(info)) {
            if (column == 1) emit("\r");
            return;
        }
        COORD place = info.dwCursorPosition;
        place.X = static_cast<SHORT>(column - 1);
        ::SetConsoleCursorPosition(output_, place);
    }

    ScreenPosition cursor_position() override {
        CONSOLE_SCREEN_BUFFER_INFO info{};
        if (!screen_info(info)) return {};
        return {info.dwCursorPosition.X + 1, info.dwCursorPosition.Y + 1};
    }

    void set_cursor_position(ScreenPosition position) override {
        if (!output_console_) return;
        const COORD place{static_cast<SHORT>(position.column - 1),
                          static_cast<SHORT>(position.row - 1)};
        ::SetConsoleCursorPosition(output_, place);
    }

    bool cursor_visible() override {
        CONSOLE_CURSOR_INFO info{};
        if (!output_console_ || !::GetConsoleCursorInfo(output_, &info)) return true;
        return info.bVisible != FALSE;
    }

    void show_cursor(bool visible) override {
        CONSOLE_CURSOR_INFO info{};
        if (!output_console_ || !::GetConsoleCursorInfo(output_, &info)) return;
        info.bVisible = visible ? TRUE : FALSE;
        ::SetConsoleCursorInfo(output_, &info);
    }

    void beep(int frequency_hz, int duration_ms) override {
        ::Beep(static_cast<DWORD>(frequency_hz), static_cast<DWORD>(duration_ms));
    }

    void set_title(std::string_view title) override {
        ::SetConsoleTitleA(std::string(title).c_str());
    }

    void prepare_input() override {
        DWORD mode = 0;
        if (!::GetConsoleMode(input_, &mode)) return;
        if (!control.input_mode_changed.load()) {
            control.input = input_;
            control.original_input_mode = mode;
            if (!exit_action_added_) {
                exit_action_added_ = true;
                add_exit_action(restore_input_mode);
            }
        }
        // Without quick edit a click in the window does not freeze the program's output.
        // Processed input makes Ctrl+C and Ctrl+Break control events rather than keys.
        ::SetConsoleMode(input_, (mode & ~quick_edit_mode) | extended_flags | ENABLE_PROCESSED_INPUT);
        control.input_mode_changed = true;
    }

    void move_window(WindowPosition position) override {
        const HWND window = ::GetConsoleWindow();
        control.window = window;
        control.position = window_position_word(position);
        ::SetWindowPos(window, HWND_TOP, position.x, position.y, 0, 0, place_flags);
    }

    void lock_window_size() override {
        const HWND window = control.window.load() != nullptr ? control.window.load()
                                                             : ::GetConsoleWindow();
        const HMENU menu = ::GetSystemMenu(window, FALSE);
        ::DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
        ::DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
        const LONG style = ::GetWindowLongA(window, GWL_STYLE);
        ::SetWindowLongA(window, GWL_STYLE, style & ~static_cast<LONG>(WS_MAXIMIZEBOX));
    }

    WindowPosition window_position() override { return current_position(); }

    void size_console(int columns, int rows) override {
        CONSOLE_SCREEN_BUFFER_INFO info{};
        if (!screen_info(info)) return;
        const COORD largest = ::GetLargestConsoleWindowSize(output_);
        SMALL_RECT view{};
        view.Right = static_cast<SHORT>(columns - 1 < largest.X ? columns - 1 : largest.X);
        view.Bottom = static_cast<SHORT>(rows - 1 < largest.Y ? rows - 1 : largest.Y);
        const COORD buffer{static_cast<SHORT>(columns), static_cast<SHORT>(rows)};
        const SHORT shown_width = static_cast<SHORT>(info.srWindow.Right - info.srWindow.Left + 1);
        const SHORT shown_height = static_cast<SHORT>(info.srWindow.Bottom - info.srWindow.Top + 1);
        // The buffer can never be smaller than the window: shrink the window first, within
        // the buffer as it still is, then resize the buffer, then set the window.
        if (view.Right + 1 < shown_width || view.Bottom + 1 < shown_height) {
            SMALL_RECT shrunk = view;
            if (shrunk.Right > info.dwSize.X - 1) shrunk.Right = static_cast<SHORT>(info.dwSize.X - 1);
            if (shrunk.Bottom > info.dwSize.Y - 1) shrunk.Bottom = static_cast<SHORT>(info.dwSize.Y - 1);
            ::SetConsoleWindowInfo(output_, TRUE, &shrunk);
            ::SetConsoleScreenBufferSize(output_, buffer);
            ::SetConsoleWindowInfo(output_, TRUE, &view);
        } else {
            ::SetConsoleScreenBufferSize(output_, buffer);
            ::SetConsoleWindowInfo(output_, TRUE, &view);
        }
        ::SetConsoleCursorPosition(output_, COORD{0, 0});
    }

    void set_control_handler(void (*handler)()) override {
        if (control.main_thread == nullptr) {
            HANDLE thread = nullptr;
            if (::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(),
                                  ::GetCurrentProcess(), &thread,
                                  THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT, FALSE, 0)) {
                control.main_thread = thread;
                control.main_thread_id = ::GetCurrentThreadId();
            }
        }
        control.handler = handler;
        ::SetConsoleCtrlHandler(control_routine, TRUE);
    }

private:
    bool screen_info(CONSOLE_SCREEN_BUFFER_INFO& info) {
        return output_console_ && ::GetConsoleScreenBufferInfo(output_, &info);
    }

    void emit(std::string_view text) {
        while (!text.empty()) {
            DWORD put = 0;
            const auto size = static_cast<DWORD>(text.size() > 0x8000u ? 0x8000u : text.size());
            const BOOL done = output_console_
                                  ? ::WriteConsoleA(output_, text.data(), size, &put, nullptr)
                                  : ::WriteFile(output_, text.data(), size, &put, nullptr);
            if (!done || put == 0) return;
            text.remove_prefix(put);
        }
    }

    HANDLE input_ = INVALID_HANDLE_VALUE;
    HANDLE output_ = INVALID_HANDLE_VALUE;
    bool input_console_ = false;
    bool output_console_ = false;
    bool exit_action_added_ = false;
    int repeated_key_ = 0;
    int repeats_ = 0;
    unsigned char bytes_[4096]{};
    DWORD next_byte_ = 0;
    DWORD byte_count_ = 0;
};

}  // namespace

Console& system_console() {
    static WindowsConsole console;
    return console;
}

}  // namespace tavrin
