// The console on a POSIX terminal: termios for single keys, standard control sequences for
// the cursor, the scrolling region and the window. No curses. The dialogue runs on the
// terminal's alternate screen, like any full-screen terminal program, so it starts blank and
// the user's own screen comes back unchanged at every exit.
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <string>

#include "support/console.hpp"
#include "support/process_exit.hpp"

namespace tavrin {

namespace {

constexpr int input_fd = 0;
constexpr int output_fd = 1;
// A lone ESC is the Escape key only when no sequence follows it this soon.
constexpr int sequence_wait_ms = 50;
// How often the window position is asked while waiting for keys.
constexpr long position_query_interval_ms = 500;
// The largest region whose text is kept for drawing it again (the dialogue's is 28 x 7).
constexpr int kept_rows = 24;
constexpr int kept_columns = 80;
// The signals whose handlers read or write the terminal.
constexpr int handled_signals[] = {SIGINT, SIGQUIT, SIGHUP, SIGTERM, SIGTSTP, SIGCONT};

// What the signal handlers need to put the terminal back. Everything here is written by the
// main thread before a handler can need it or while the handlers are held back, or is a
// lock-free atomic.
struct TerminalState {
    termios original{};
    termios raw{};
    std::atomic<bool> raw_mode{false};
    std::atomic<bool> alternate_screen{false};
    std::atomic<bool> region_set{false};
    std::atomic<bool> title_pushed{false};
    std::atomic<bool> cursor_hidden{false};
    std::atomic<bool> resized{false};
    std::atomic<bool> position_answered{false};
    int original_rows = 0;
    int original_columns = 0;
    int region_rows = 0;
    std::atomic<int> cursor_row{1};
    std::atomic<int> cursor_column{1};
    std::atomic<std::uint32_t> window{0};  // y in the high half, x in the low half
    std::atomic<void (*)()> control_handler{nullptr};
    // The text in the region, kept so that it can be drawn again when a stopped run goes on:
    // the alternate screen comes back blank. 0 is a cell never written.
    std::atomic<char> cells[kept_rows][kept_columns]{};
};

TerminalState terminal;
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free &&
                  std::atomic<std::uint32_t>::is_always_lock_free &&
                  std::atomic<void (*)()>::is_always_lock_free &&
                  std::atomic<char>::is_always_lock_free,
              "the signal handlers read these");

// Holds back the handlers while the main thread changes the terminal and what is known of
// it, so that a handler never sees the two disagree (text kept but not yet written, say).
class HeldSignals {
public:
    HeldSignals() {
        sigset_t set;
        sigemptyset(&set);
        for (const int signal_number : handled_signals) sigaddset(&set, signal_number);
        ::pthread_sigmask(SIG_BLOCK, &set, &previous_);
    }
    ~HeldSignals() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    HeldSignals(const HeldSignals&) = delete;
    HeldSignals& operator=(const HeldSignals&) = delete;

private:
    sigset_t previous_{};
};

// A fixed buffer for output built inside a signal handler: no allocation there. Room for the
// whole kept region with its control sequences.
struct SignalSafeText {
    char bytes[kept_rows * (kept_columns + 16) + 160];
    std::size_t size = 0;

    void add(const char* text) {
        while (*text != '\0' && size < sizeof bytes) bytes[size++] = *text++;
    }
    void add(int number) {
        char digits[12];
        std::size_t count = 0;
        unsigned value = number < 0 ? 0u - static_cast<unsigned>(number) : static_cast<unsigned>(number);
        do {
            digits[count++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        if (number < 0 && size < sizeof bytes) bytes[size++] = '-';
        while (count > 0 && size < sizeof bytes) bytes[size++] = digits[--count];
    }
    void add_char(char c) {
        if (size < sizeof bytes) bytes[size++] = c;
    }
    void add_position(int row, int column) {
        add("\x1b[");
        add(row);
        add(";");
        add(column);
        add("H");
    }
};

int kept_region_rows() {
    return terminal.region_rows < kept_rows ? terminal.region_rows : kept_rows;
}

void forget_kept_text() {
    for (auto& row : terminal.cells) {
        for (auto& cell : row) cell.store(0, std::memory_order_relaxed);
    }
}

// The scrolling region with each of its rows wiped whole (where the terminal has no
// alternate screen, what it showed there must not mix with the dialogue) and its kept text
// drawn again, then the cursor put back.
void add_region(SignalSafeText& text) {
    text.add("\x1b[1;");
    text.add(terminal.region_rows);
    text.add("r");
    for (int row = 0; row < kept_region_rows(); ++row) {
        text.add_position(row + 1, 1);
        text.add("\x1b[2K");
        int length = kept_columns;
        while (length > 0 && terminal.cells[row][length - 1].load(std::memory_order_relaxed) == 0) {
            --length;
        }
        for (int column = 0; column < length; ++column) {
            const char c = terminal.cells[row][column].load(std::memory_order_relaxed);
            text.add_char(c == 0 ? ' ' : c);
        }
    }
    text.add_position(terminal.cursor_row.load(), terminal.cursor_column.load());
}

void write_all(const char* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t put = ::write(output_fd, bytes, size);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return;
        bytes += put;
        size -= static_cast<std::size_t>(put);
    }
}

// Undoes every change made to the terminal; async-signal-safe, and harmless to repeat.
void restore_terminal() {
    SignalSafeText text;
    if (terminal.region_set.exchange(false)) {
        // Where the terminal has no alternate screen, the shell goes on below the dialogue's
        // rows, on a line of its own.
        text.add("\x1b[r");
        text.add_position(terminal.region_rows + 1, 1);
        text.add("\x1b[2K");
    }
    if (terminal.cursor_hidden.exchange(false)) text.add("\x1b[?25h");
    if (terminal.title_pushed.exchange(false)) text.add("\x1b[23;0t");
    if (terminal.resized.exchange(false)) {
        text.add("\x1b[8;");
        text.add(terminal.original_rows);
        text.add(";");
        text.add(terminal.original_columns);
        text.add("t");
    }
    // The user's screen as it was, the cursor where it was when the dialogue began.
    if (terminal.alternate_screen.exchange(false)) text.add("\x1b[?1049l");
    write_all(text.bytes, text.size);
    if (terminal.raw_mode.exchange(false)) ::tcsetattr(input_fd, TCSANOW, &terminal.original);
}

// Puts back what restore_terminal undid when a stopped process is continued. The alternate
// screen comes back blank: the region is drawn again from the kept text.
void reapply_terminal(bool raw, bool alternate, bool region, bool hidden) {
    if (raw && ::tcsetattr(input_fd, TCSANOW, &terminal.raw) == 0) terminal.raw_mode = true;
    SignalSafeText text;
    if (alternate) {
        text.add("\x1b[?1049h");
        terminal.alternate_screen = true;
    }
    if (region) {
        add_region(text);
        terminal.region_set = true;
    }
    if (hidden) {
        text.add("\x1b[?25l");
        terminal.cursor_hidden = true;
    }
    write_all(text.bytes, text.size);
}

void install(int signal_number, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // The default action is back in place at once, and re-raising inside the handler is not
    // held back, so the process ends (or stops) the way it would have without us.
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    ::sigaction(signal_number, &action, nullptr);
}

// Ctrl+C, Ctrl+\ (this platform's Ctrl+Break), the terminal hung up or closed, a request to
// terminate: the dialogue's handler first, then the terminal back, then the default action.
void on_control_signal(int signal_number) {
    const int saved_errno = errno;
    if (void (*handler)() = terminal.control_handler.load(); handler != nullptr) handler();
    // A position reply still on its way would land in the shell's input.
    if (terminal.position_answered.load() && terminal.raw_mode.load()) ::tcflush(input_fd, TCIFLUSH);
    restore_terminal();
    ::raise(signal_number);
    errno = saved_errno;
}

// Ctrl+Z: hand the terminal back while stopped, take it again when continued.
void on_stop_signal(int signal_number) {
    const int saved_errno = errno;
    const bool raw = terminal.raw_mode.load();
    const bool alternate = terminal.alternate_screen.load();
    const bool region = terminal.region_set.load();
    const bool hidden = terminal.cursor_hidden.load();
    restore_terminal();
    ::raise(signal_number);
    reapply_terminal(raw, alternate, region, hidden);
    install(SIGTSTP, on_stop_signal);
    errno = saved_errno;
}

// Continued after a stop that could not be caught (SIGSTOP): whatever was printed meanwhile
// may be on the dialogue's screen, and the shell may have changed the keyboard mode. After
// Ctrl+Z the terminal is not held here yet; on_stop_signal takes it back.
void on_continue_signal(int) {
    const int saved_errno = errno;
    if (terminal.raw_mode.load()) {
        ::tcsetattr(input_fd, TCSANOW, &terminal.raw);
        if (terminal.region_set.load()) {
            SignalSafeText text;
            add_region(text);
            write_all(text.bytes, text.size);
        }
    }
    errno = saved_errno;
}

long now_ms() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Reads the number at text[at], an optional minus sign then digits; false when there is none.
bool read_int(const std::string& text, std::size_t& at, int& value) {
    const bool negative = at < text.size() && text[at] == '-';
    if (negative) ++at;
    const std::size_t first = at;
    long number = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && number < 1000000) {
        number = number * 10 + (text[at] - '0');
        ++at;
    }
    value = static_cast<int>(negative ? -number : number);
    return at > first;
}

class PosixConsole final : public Console {
public:
    PosixConsole() {
        input_terminal_ = ::isatty(input_fd) == 1;
        // Control sequences only where a terminal both shows them and answers them.
        control_ = input_terminal_ && ::isatty(output_fd) == 1;
        winsize size{};
        if (control_ && ::ioctl(output_fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 &&
            size.ws_row > 0) {
            width_ = size.ws_col;
            height_ = size.ws_row;
        }
    }

    bool input_is_console() override { return input_terminal_; }

    int poll_key() override {
        // Without a terminal there is no keyboard; standard input is for read_input_byte.
        if (!input_terminal_) return input_ended;
        ask_window_position_now_and_then();
        for (;;) {
            if (pending_.empty() && !fill(0)) return ended_ ? input_ended : no_key;
            const auto first = static_cast<unsigned char>(pending_[0]);
            if (first != 0x1B) {
                pending_.erase(0, 1);
                // DEL and Ctrl+H are both the Backspace key.
                return first == 0x7F ? key::backspace : first;
            }
            if (pending_.size() == 1) fill(sequence_wait_ms);
            if (pending_.size() == 1 || (pending_[1] != '[' && pending_[1] != 'O')) {
                pending_.erase(0, 1);
                return key::escape;
            }
            std::size_t final_at = sequence_end();
            if (final_at == 0 && fill(sequence_wait_ms)) final_at = sequence_end();
            if (final_at == 0) {
                // A broken sequence is not a keystroke: drop it.
                pending_.clear();
                return no_key;
            }
            const std::string sequence = pending_.substr(0, final_at + 1);
            pending_.erase(0, final_at + 1);
            const int code = decode(sequence);
            if (code != no_key) return code;
        }
    }

    int read_input_byte() override {
        unsigned char byte = 0;
        for (;;) {
            const ssize_t got = ::read(input_fd, &byte, 1);
            if (got == 1) return byte;
            if (got < 0 && errno == EINTR) continue;
            return -1;
        }
    }

    void sleep_milliseconds(int milliseconds) override {
        timespec wait{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
        while (::nanosleep(&wait, &wait) != 0 && errno == EINTR) {
        }
    }

    int width() override { return width_; }
    int height() override { return height_; }

    void write(std::string_view text) override {
        HeldSignals hold;
        std::string out;
        for (const char c : text) {
            out += c;
            keep(c);
            if (++column_ > width_) {
                column_ = 1;
                next_row(out);
            }
        }
        emit(out);
    }

    void end_line() override {
        HeldSignals hold;
        std::string out;
        column_ = 1;
        next_row(out);
        emit(control_ ? std::string_view(out) : std::string_view("\n"));
    }

    void move_to_column(int column) override {
        column_ = column;
        if (control_) {
            emit(cursor_sequence());
        } else if (column == 1) {
            emit("\r");
        }
    }

    ScreenPosition cursor_position() override { return {column_, row_}; }

    void set_cursor_position(ScreenPosition position) override {
        column_ = position.column;
        row_ = position.row;
        if (control_) emit(cursor_sequence());
    }

    bool cursor_visible() override { return cursor_visible_; }

    void show_cursor(bool visible) override {
        cursor_visible_ = visible;
        if (!control_) return;
        HeldSignals hold;
        arm();
        terminal.cursor_hidden = !visible;
        emit(visible ? "\x1b[?25h" : "\x1b[?25l");
    }

    // A terminal bell has no tone or length of its own.
    void beep(int, int) override {
        if (control_) emit("\a");
    }

    void set_title(std::string_view title) override {
        if (!control_) return;
        HeldSignals hold;
        arm();
        // Keep the old title on the terminal's title stack, to give it back at the end.
        terminal.title_pushed = true;
        emit("\x1b[22;0t\x1b]0;" + std::string(title) + "\x07");
    }

    void prepare_input() override {
        if (!input_terminal_ || terminal.raw_mode) return;
        HeldSignals hold;
        if (::tcgetattr(input_fd, &terminal.original) != 0) return;
        arm();
        termios raw = terminal.original;
        // Single keys without echo; ISIG stays on so Ctrl+C, Ctrl+\ and Ctrl+Z are signals.
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | IEXTEN);
        raw.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR | IXON);
        raw.c_cc[VMIN] = 0;
        raw.c_cc[VTIME] = 0;
        terminal.raw = raw;
        if (::tcsetattr(input_fd, TCSANOW, &raw) == 0) terminal.raw_mode = true;
        install(SIGTSTP, on_stop_signal);
        struct sigaction action {};
        action.sa_handler = on_continue_signal;
        sigemptyset(&action.sa_mask);
        for (const int signal_number : handled_signals) sigaddset(&action.sa_mask, signal_number);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGCONT, &action, nullptr);
    }

    void move_window(WindowPosition position) override {
        terminal.window = window_position_word(position);
        if (!control_) return;
        // The sequence cannot carry a minus sign: a position off the screen's edge is put on it.
        std::string out = "\x1b[3;" + std::to_string(position.x < 0 ? 0 : position.x) + ";" +
                          std::to_string(position.y < 0 ? 0 : position.y) + "t";
        emit(out);
        ask_window_position();
    }

    // A terminal has no maximise box, no system menu and no quick-edit mode to turn off.
    void lock_window_size() override {}

    WindowPosition window_position() override { return window_position_of(terminal.window.load()); }

    void size_console(int columns, int rows) override {
        width_ = columns;
        height_ = rows;
        column_ = row_ = 1;
        if (!control_) return;
        HeldSignals hold;
        arm();
        winsize size{};
        if (!terminal.resized && ::ioctl(output_fd, TIOCGWINSZ, &size) == 0 && size.ws_row > 0) {
            terminal.original_rows = size.ws_row;
            terminal.original_columns = size.ws_col;
            terminal.resized = true;
        }
        std::string out;
        // The console stands for a new window: it must not show what the terminal showed.
        if (!terminal.alternate_screen.exchange(true)) out += "\x1b[?1049h";
        // Ask for a text area of that size (ignored where unsupported); whatever the terminal
        // does, only rows 1 to rows scroll, and the text wraps at the given width.
        out += "\x1b[8;" + std::to_string(rows) + ";" + std::to_string(columns) + "t";
        terminal.region_rows = rows;
        terminal.cursor_row = row_;
        terminal.cursor_column = column_;
        forget_kept_text();
        SignalSafeText region;
        add_region(region);
        out.append(region.bytes, region.size);
        terminal.region_set = true;
        emit(out);
    }

    void set_control_handler(void (*handler)()) override {
        terminal.control_handler = handler;
        for (const int signal_number : {SIGINT, SIGQUIT, SIGHUP, SIGTERM}) {
            install(signal_number, on_control_signal);
        }
    }

    // At a normal exit: wait briefly for a position reply still under way, so that it is not
    // left for the shell to read, then put the terminal back.
    void finish() {
        if (terminal.raw_mode && terminal.position_answered && query_outstanding_) {
            const long until = now_ms() + 100;
            while (!ended_ && now_ms() < until && pending_.find("\x1b[3;") == std::string::npos) fill(10);
            const std::size_t report = pending_.find("\x1b[3;");
            while (!ended_ && now_ms() < until && report != std::string::npos &&
                   pending_.find('t', report) == std::string::npos) {
                fill(10);
            }
        }
        HeldSignals hold;
        restore_terminal();
    }

private:
    void arm() {
        if (armed_) return;
        armed_ = true;
        add_exit_action([] { static_cast<PosixConsole&>(system_console()).finish(); });
    }

    void emit(std::string_view bytes) {
        HeldSignals hold;
        terminal.cursor_row = row_;
        terminal.cursor_column = column_;
        write_all(bytes.data(), bytes.size());
    }

    std::string cursor_sequence() const {
        return "\x1b[" + std::to_string(row_) + ";" + std::to_string(column_) + "H";
    }

    // To column 1 of the next row; at the bottom row a line feed scrolls the region up.
    void next_row(std::string& out) {
        if (control_) out += "\r\n";
        if (row_ < height_) {
            ++row_;
        } else if (control_) {
            scroll_kept_text();
        }
    }

    // Notes the character about to be written at the cursor, for drawing the region again.
    void keep(char c) {
        if (!control_ || row_ < 1 || row_ > kept_region_rows() || column_ < 1 ||
            column_ > kept_columns) {
            return;
        }
        terminal.cells[row_ - 1][column_ - 1].store(c, std::memory_order_relaxed);
    }

    void scroll_kept_text() {
        const int rows = kept_region_rows();
        for (int row = 1; row < rows; ++row) {
            for (int column = 0; column < kept_columns; ++column) {
                terminal.cells[row - 1][column].store(
                    terminal.cells[row][column].load(std::memory_order_relaxed),
                    std::memory_order_relaxed);
            }
        }
        if (rows > 0) {
            for (auto& cell : terminal.cells[rows - 1]) cell.store(0, std::memory_order_relaxed);
        }
    }

    // Reads what is there within timeout_ms; false when nothing came.
    bool fill(int timeout_ms) {
        if (ended_) return false;
        pollfd watch{input_fd, POLLIN, 0};
        const int ready = ::poll(&watch, 1, timeout_ms);
        if (ready <= 0) return false;
        char bytes[256];
        const ssize_t got = ::read(input_fd, bytes, sizeof bytes);
        if (got > 0) {
            pending_.append(bytes, static_cast<std::size_t>(got));
            return true;
        }
        // Readable yet nothing to read: the input is closed or the terminal hung up.
        if (got == 0 || (errno != EINTR && errno != EAGAIN)) ended_ = true;
        return false;
    }

    // Index of the final byte of the sequence at the front of pending_, 0 while incomplete.
    std::size_t sequence_end() const {
        for (std::size_t i = 2; i < pending_.size(); ++i) {
            const auto c = static_cast<unsigned char>(pending_[i]);
            if (pending_[1] == 'O' || (c >= 0x40 && c <= 0x7E)) return i;
            if (c < 0x20 || c > 0x3F) return i;  // not part of any sequence: end it here
        }
        return 0;
    }

    // The key a sequence stands for; no_key for a window position report or an unknown one.
    int decode(const std::string& sequence) {
        const char final_byte = sequence.back();
        switch (final_byte) {
            case 'A': return key::up;
            case 'B': return key::down;
            case 'C': return key::right;
            case 'D': return key::left;
            case 'H': return key::home;
            case 'F': return key::end;
            default: break;
        }
        if (sequence[1] != '[') return no_key;
        std::size_t at = 2;
        int first = 0;
        read_int(sequence, at, first);
        if (final_byte == '~') {
            if (first == 1 || first == 7) return key::home;
            if (first == 4 || first == 8) return key::end;
            if (first == 3) return key::del;
            return no_key;
        }
        if (final_byte == 't' && first == 3) {
            WindowPosition position;
            if (at < sequence.size() && sequence[at] == ';' && read_int(sequence, ++at, position.x) &&
                at < sequence.size() && sequence[at] == ';' && read_int(sequence, ++at, position.y)) {
                terminal.window = window_position_word(position);
                terminal.position_answered = true;
                query_outstanding_ = false;
            }
        }
        return no_key;
    }

    void ask_window_position() {
        emit("\x1b[13t");
        last_query_ms_ = now_ms();
        query_outstanding_ = true;
    }

    // Keeps the last known position up to date while the dialogue waits for keys.
    void ask_window_position_now_and_then() {
        if (control_ && terminal.raw_mode && now_ms() - last_query_ms_ >= position_query_interval_ms) {
            ask_window_position();
        }
    }

    bool input_terminal_ = false;
    bool control_ = false;
    bool armed_ = false;
    int width_ = 80;
    int height_ = 24;
    int row_ = 1;
    int column_ = 1;
    bool cursor_visible_ = true;
    std::string pending_;
    bool ended_ = false;
    bool query_outstanding_ = false;
    long last_query_ms_ = 0;
};

}  // namespace

Console& system_console() {
    static PosixConsole console;
    return console;
}

}  // namespace tavrin
