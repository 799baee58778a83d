// Running the tool in a terminal for end-to-end tests: a pseudo-terminal the test plays the
// terminal on, and commands (tmux) run with a time limit. Nothing here can wait for ever.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "e2e_support.hpp"

namespace tavrin::test {

inline long monotonic_ms() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

inline void pause_ms(int milliseconds) { ::usleep(static_cast<useconds_t>(milliseconds) * 1000); }

// A copy of the tool in folder: its settings file, beside it, is then the test's own.
inline std::string private_tool(const ScratchDir& folder) {
    const std::filesystem::path original = tool_command().back();
    const std::filesystem::path copy = folder.path() / original.filename();
    std::filesystem::copy_file(original, copy, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(copy, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add);
    return copy.string();
}

// True when the tool under test is this platform's own build, which a terminal can run.
inline bool tool_runs_in_a_terminal() {
    const char* runner = std::getenv("TAVRIN_TEST_RUNNER");
    return runner == nullptr || *runner == '\0';
}

struct CommandResult {
    int status = -1;  // -1 when it did not exit normally or was stopped at the time limit
    std::string output;
};

// Runs a command with no standard input, its output and errors collected, killed when it
// runs past the time limit.
inline CommandResult run_command(const std::vector<std::string>& command, int limit_ms) {
    int out[2];
    CommandResult result;
    if (::pipe(out) != 0) return result;
    const pid_t child = ::fork();
    if (child == 0) {
        const int none = ::open("/dev/null", O_RDONLY);
        ::dup2(none, 0);
        ::dup2(out[1], 1);
        ::dup2(out[1], 2);
        ::close(out[0]);
        std::vector<char*> argv;
        std::vector<std::string> words = command;
        for (std::string& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    if (child <= 0) {
        ::close(out[0]);
        return result;
    }
    const long until = monotonic_ms() + limit_ms;
    // A server the command starts may keep the pipe open: stop reading once the command
    // itself has ended and nothing more is waiting.
    int wait_status = 0;
    bool ended = false;
    for (;;) {
        pollfd watch{out[0], POLLIN, 0};
        const bool ready = ::poll(&watch, 1, ended ? 0 : 20) > 0;
        ssize_t got = 0;
        if (ready) {
            char bytes[4096];
            got = ::read(out[0], bytes, sizeof bytes);
            if (got > 0) result.output.append(bytes, static_cast<std::size_t>(got));
        }
        if (ended && got <= 0) break;
        if (!ended && ::waitpid(child, &wait_status, WNOHANG) == child) ended = true;
        if (!ended && monotonic_ms() >= until) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &wait_status, 0);
            ::close(out[0]);
            return result;
        }
    }
    ::close(out[0]);
    if (WIFEXITED(wait_status)) result.status = WEXITSTATUS(wait_status);
    return result;
}

// The tool on a pseudo-terminal of 80 x 24 as the controlling terminal of its own session;
// the test reads what it writes and types keys into it.
class PtyRun {
public:
    PtyRun(const std::string& tool, const ScratchDir& folder) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
        const char* slave_name = ::ptsname(master_);
        if (slave_name == nullptr) return;
        const std::string slave_path = slave_name;
        winsize size{};
        size.ws_row = 24;
        size.ws_col = 80;
        ::ioctl(master_, TIOCSWINSZ, &size);
        ::tcgetattr(master_, &initial_mode_);
        child_ = ::fork();
        if (child_ == 0) {
            ::setsid();
            const int slave = ::open(slave_path.c_str(), O_RDWR);
            if (slave < 0) ::_exit(126);
            ::ioctl(slave, TIOCSCTTY, 0);
            ::dup2(slave, 0);
            ::dup2(slave, 1);
            ::dup2(slave, 2);
            if (slave > 2) ::close(slave);
            ::close(master_);
            // No core file from Ctrl+\ in the test folder.
            rlimit no_core{0, 0};
            ::setrlimit(RLIMIT_CORE, &no_core);
            for (const int s : {SIGINT, SIGQUIT, SIGHUP, SIGTERM, SIGTSTP}) ::signal(s, SIG_DFL);
            if (::chdir(folder.path().c_str()) != 0) ::_exit(126);
            std::string program = tool;
            char* argv[] = {program.data(), nullptr};
            ::execv(argv[0], argv);
            ::_exit(127);
        }
    }
    ~PtyRun() {
        if (child_ > 0 && !exited_) {
            ::kill(child_, SIGKILL);
            ::waitpid(child_, nullptr, 0);
        }
        if (master_ >= 0) ::close(master_);
    }
    PtyRun(const PtyRun&) = delete;
    PtyRun& operator=(const PtyRun&) = delete;

    bool started() const { return child_ > 0; }
    // Every "CSI 13 t" (where is the window?) is answered with this position from now on.
    void answer_position_queries(int x, int y) {
        answer_ = "\x1b[3;" + std::to_string(x) + ";" + std::to_string(y) + "t";
        answer_new_queries();
    }
    int answers_sent() const { return answers_sent_; }

    // Reads until the output holds text after position from; false at the time limit.
    bool wait_for(const std::string& text, int limit_ms, std::size_t from = 0) {
        const long until = monotonic_ms() + limit_ms;
        while (output_.find(text, from) == std::string::npos) {
            const long left = until - monotonic_ms();
            if (left <= 0 || !read_some(static_cast<int>(left < 50 ? left : 50))) {
                if (monotonic_ms() >= until) return false;
            }
        }
        return true;
    }
    // Reads whatever comes within the time.
    void drain(int milliseconds) {
        const long until = monotonic_ms() + milliseconds;
        while (monotonic_ms() < until) read_some(10);
    }
    void type(const std::string& keys) {
        if (::write(master_, keys.data(), keys.size()) < 0) return;
    }
    // The wait status once the tool has ended; nothing at the time limit.
    std::optional<int> wait_end(int limit_ms) {
        const long until = monotonic_ms() + limit_ms;
        for (;;) {
            int wait_status = 0;
            if (::waitpid(child_, &wait_status, WNOHANG) == child_) {
                exited_ = true;
                drain(50);
                return wait_status;
            }
            if (monotonic_ms() >= until) return std::nullopt;
            read_some(10);
        }
    }
    void send_signal(int signal_number) { ::kill(child_, signal_number); }
    // The terminal closed, as when its window is closed.
    void hang_up() {
        ::close(master_);
        master_ = -1;
    }
    // The terminal's mode as it is now, and as it was before the tool started.
    termios mode() const {
        termios now{};
        ::tcgetattr(master_, &now);
        return now;
    }
    const termios& initial_mode() const { return initial_mode_; }
    const std::string& output() const { return output_; }

private:
    bool read_some(int timeout_ms) {
        if (master_ < 0) {
            pause_ms(timeout_ms);
            return false;
        }
        pollfd watch{master_, POLLIN, 0};
        if (::poll(&watch, 1, timeout_ms) <= 0) return false;
        char bytes[4096];
        const ssize_t got = ::read(master_, bytes, sizeof bytes);
        if (got <= 0) {
            pause_ms(timeout_ms);
            return false;
        }
        output_.append(bytes, static_cast<std::size_t>(got));
        answer_new_queries();
        return true;
    }
    void answer_new_queries() {
        for (std::size_t at = output_.find("\x1b[13t", scanned_); at != std::string::npos;
             at = output_.find("\x1b[13t", scanned_)) {
            scanned_ = at + 1;
            if (!answer_.empty()) {
                type(answer_);
                ++answers_sent_;
            }
        }
    }

    int master_ = -1;
    pid_t child_ = -1;
    bool exited_ = false;
    termios initial_mode_{};
    std::string output_;
    std::size_t scanned_ = 0;
    std::string answer_;
    int answers_sent_ = 0;
};

}  // namespace tavrin::test
